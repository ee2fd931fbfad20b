#pragma once

#include <windows.h>

#include <functional>

#include "SingleInstance.h"

// MessageBoxA's signature, so that tests can look at each call.
using MessageBoxFunction = std::function<int(HWND owner, LPCSTR text, LPCSTR caption, UINT style)>;

// The information box through `show`: no owner window, MB_ICONINFORMATION
// with the default single OK button; the result is not looked at.
InformationBox Win32InformationBox(MessageBoxFunction show);
