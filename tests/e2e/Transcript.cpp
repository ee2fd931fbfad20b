#include "Transcript.h"

#include <QFile>
#include <stdexcept>

std::vector<Burst> ReadTranscript(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    throw std::runtime_error("cannot read the transcript " + path.toStdString());
  std::vector<Burst> bursts;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.isEmpty()) continue;
    const QStringList fields = line.split(' ');
    bool ok = false;
    const double seconds = fields.value(0).toDouble(&ok);
    const QString direction = fields.value(1);
    if (!ok || (direction != "tx" && direction != "rx"))
      throw std::runtime_error("bad transcript line: " + line.toStdString());
    bursts.push_back({seconds, direction == "tx", BytesOfHex(fields.mid(2).join(' '))});
  }
  return bursts;
}

QString HexOf(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

QByteArray BytesOfHex(const QString& hex) { return QByteArray::fromHex(hex.toLatin1()); }
