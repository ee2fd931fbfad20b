#include "InformationBoxWin32.h"

InformationBox Win32InformationBox(MessageBoxFunction show) {
  return [show = std::move(show)](const std::string& caption, const std::string& text) {
    show(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION);
  };
}

InformationBox PlatformInformationBox(const OperatorMessages&) { return Win32InformationBox(&MessageBoxA); }
