#pragma once

#include <functional>
#include <memory>
#include <string>

#include "InstanceGuard.h"

// An information message box with no owner window and a single OK button;
// it returns once the operator has dismissed it.
using InformationBox = std::function<void(const std::string& caption, const std::string& text)>;

struct OperatorMessages;

// The platform's box for the refused copy: MessageBoxA on Windows; elsewhere
// the toolkit's box, shown through `messages`.
InformationBox PlatformInformationBox(const OperatorMessages& messages);

inline constexpr char kInstanceName[] = "trellum";
inline constexpr char kRefusalCaption[] = "Multiple Instance Error";
inline constexpr char kRefusalText[] =
    "You have run another instance of this program already. Click it on the system tray to activite.";

// Takes the program's guard. When another copy holds it, the refusal is shown
// through `box` and nothing is returned; the refused guard goes only after the
// box has been dismissed.
std::unique_ptr<InstanceGuard> ClaimSingleInstance(const InformationBox& box);
