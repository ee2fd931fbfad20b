#include "SessionTaps.h"

#include <string>
#include <utility>

#include "ComPort.h"
#include "MainWindow.h"
#include "SessionRecord.h"

OperatorMessages RecordedMessages(OperatorMessages messages, SessionRecord& record) {
  const OperatorMessages shown{std::move(messages.show), {}};
  messages.show = [shown, &record](const QString& caption, const QString& text, MessageIcon icon) {
    if (icon == MessageIcon::Error) record.Error(text.toStdString());
    shown.ShowBox(caption, text, icon);
  };
  return messages;
}

// The window's own handlers keep running, after the record has its line.
void RecordWindow(TForm1& form, SessionRecord& record) {
  QObject::connect(form.Memo1, &LogView::lineAppended, &form,
                   [&record](const QString& line) { record.Log(line.toStdString()); });
  QObject::connect(&form, &TForm1::portLost, &form, [&record](const QString& port, const QString& reason) {
    record.Lost(port.toStdString(), reason.toStdString());
  });
  QObject::connect(&form, &TForm1::portReturned, &form,
                   [&record](const QString& port, qint64 awayMs) { record.Returned(port.toStdString(), awayMs); });
  TComPort& port = *form.ComPort1;
  port.OnAfterOpen = [&record, next = std::move(port.OnAfterOpen)](TCustomComPort* sender) {
    record.Connected(sender->Port(), BaudRateValue(sender->BaudRate()));
    if (next) next(sender);
  };
  port.OnAfterClose = [&record, next = std::move(port.OnAfterClose)](TCustomComPort* sender) {
    record.Disconnected(sender->Port());
    if (next) next(sender);
  };
  port.OnError = [&record, next = std::move(port.OnError)](TCustomComPort* sender, TComErrors errors) {
    record.LineErrors(ComErrorNames(errors));
    if (next) next(sender, errors);
  };
  port.OnDeviceRemoved = [&record, next = std::move(port.OnDeviceRemoved)](TCustomComPort* sender,
                                                                           const EComPort& reason) {
    record.Removed(reason.what());
    if (next) next(sender, reason);
  };
}
