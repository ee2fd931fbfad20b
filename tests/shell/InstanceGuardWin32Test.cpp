// The Windows guard between processes of one Wine prefix (or one logon), with
// the refused copy's message box recorded where MessageBoxA would be called.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InformationBoxWin32.h"
#include "ProgramLocation.h"
#include "SingleInstance.h"

namespace {

struct BoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};

// guard_holder.exe beside this program, with pipes on its standard input
// and output.
class Holder {
 public:
  Holder() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inherit, 0) || !CreatePipe(&output_, &childOutput, &inherit, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command = '"' + ExecutableFolder() + "\\guard_holder.exe\" trellum";
    started_ =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process_);
    CloseHandle(childInput);
    CloseHandle(childOutput);
  }
  ~Holder() {
    if (started_) {
      Finish();
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    if (input_) CloseHandle(input_);
    CloseHandle(output_);
  }

  bool Started() const { return started_; }

  // The holder's report: "held" or "refused".
  std::string Report() {
    std::string line;
    char c;
    DWORD got = 0;
    while (ReadFile(output_, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
      if (c != '\r') line += c;
    }
    return line;
  }

  // Closes its input and returns its exit code.
  DWORD Finish() {
    if (input_) {
      CloseHandle(input_);
      input_ = nullptr;
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_.hProcess, 10000) == WAIT_OBJECT_0) GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  bool Kill() {
    return TerminateProcess(process_.hProcess, 9) && WaitForSingleObject(process_.hProcess, 10000) == WAIT_OBJECT_0;
  }

 private:
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

class InstanceGuardWin32Test : public ::testing::Test {
 protected:
  std::unique_ptr<InstanceGuard> Claim() {
    return ClaimSingleInstance(Win32InformationBox([this](HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
      calls_.push_back({owner, text, caption, style});
      return IDOK;
    }));
  }

  void ExpectOneRefusal() {
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].owner, nullptr);
    EXPECT_EQ(calls_[0].caption, "Multiple Instance Error");
    EXPECT_EQ(calls_[0].text,
              "You have run another instance of this program already. Click it on the system tray to activite.");
    EXPECT_EQ(calls_[0].style, UINT(MB_ICONINFORMATION));
    EXPECT_EQ(calls_[0].style, 64u) << "information icon, a single OK button";
    calls_.clear();
  }

  std::vector<BoxCall> calls_;
};

TEST_F(InstanceGuardWin32Test, SecondProcessIsRefusedWithTheBoxUntilTheFirstEnds) {
  Holder first;
  ASSERT_TRUE(first.Started()) << GetLastError();
  ASSERT_EQ(first.Report(), "held");

  EXPECT_EQ(Claim(), nullptr);
  ExpectOneRefusal();
  EXPECT_EQ(Claim(), nullptr) << "refused again while the first runs";
  ExpectOneRefusal();

  EXPECT_EQ(first.Finish(), 0u);
  const auto guard = Claim();
  ASSERT_NE(guard, nullptr);
  EXPECT_TRUE(guard->Held());
  EXPECT_TRUE(calls_.empty());
}

TEST_F(InstanceGuardWin32Test, ProcessStartedWhileThisOneHoldsIsRefused) {
  const auto guard = Claim();
  ASSERT_NE(guard, nullptr);
  Holder second;
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Report(), "refused");
  EXPECT_EQ(second.Finish(), 0u);

  guard->Release();
  EXPECT_FALSE(guard->Held());
  Holder third;
  ASSERT_TRUE(third.Started());
  EXPECT_EQ(third.Report(), "held") << "the closed handle freed the name";
}

TEST_F(InstanceGuardWin32Test, KilledHolderLeavesNoStaleGuard) {
  Holder first;
  ASSERT_TRUE(first.Started());
  ASSERT_EQ(first.Report(), "held");
  ASSERT_TRUE(first.Kill());
  const auto guard = Claim();
  EXPECT_NE(guard, nullptr);
  EXPECT_TRUE(calls_.empty());
}

// Creating the mutex fails when an object of another kind bears the name;
// that counts as another copy too.
TEST_F(InstanceGuardWin32Test, EventNamedTrellumIsRefusedTheSameWay) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "trellum");
  ASSERT_NE(event, nullptr);
  ASSERT_EQ(GetLastError(), 0u);

  EXPECT_EQ(Claim(), nullptr);
  ExpectOneRefusal();
  Holder other;
  ASSERT_TRUE(other.Started());
  EXPECT_EQ(other.Report(), "refused") << "in another process as well";
  EXPECT_EQ(other.Finish(), 0u);

  CloseHandle(event);
  EXPECT_NE(Claim(), nullptr);
  EXPECT_TRUE(calls_.empty());
}

// A refused guard keeps the other copy's mutex open until it goes, as the
// refused program does until it ends.
TEST_F(InstanceGuardWin32Test, RefusedGuardInTheSameProcessKeepsTheNameTakenUntilItGoes) {
  auto first = std::make_unique<InstanceGuard>("trellum");
  ASSERT_TRUE(first->Held());
  auto second = std::make_unique<InstanceGuard>("trellum");
  EXPECT_FALSE(second->Held());
  first.reset();
  EXPECT_FALSE(InstanceGuard("trellum").Held());
  second.reset();
  EXPECT_TRUE(InstanceGuard("trellum").Held());
}

}  // namespace
