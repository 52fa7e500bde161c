// The operator's window as a native Win32 window: it builds its controls from
// the layout table, renders what the screen logic tells it (ScreenView) and
// hands the operator's presses and keys to it. All behaviour is the screen's;
// this file only binds it to user32, gdi32 and comctl32.
#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "acceptance/suite.h"
#include "payment/transaction.h"
#include "screen/guided_run.h"
#include "screen/layout.h"
#include "screen/payment_runner.h"
#include "screen/payment_screen.h"
#include "win32/display.h"
#include "win32/guided_panel.h"
#include "win32/window.h"

namespace pcpos::win32 {

inline constexpr wchar_t kWindowClass[] = L"TFrm_Selvarin";
// Control ids, given at creation, are the layout table's index plus this (clear
// of IDOK and IDCANCEL, which the dialog keys send).
inline constexpr int kFirstControlId = 100;

class MainWindow final : public Window, public screen::ScreenView {
 public:
  struct Options {
    screen::PaymentScreen::Clock clock;                     // steady_clock::now when empty
    std::optional<std::chrono::milliseconds> double_click;  // GetDoubleClickTime when empty
    TransactionOptions transaction;
    bool quit_when_closed = true;   // ends the thread's message loop when the window goes
    bool simulated_reader = false;  // the caption says the reader is simulated
  };

  explicit MainWindow(Options options);
  MainWindow() : MainWindow(Options{}) {}
  ~MainWindow() override;

  // Centres the window on its monitor, shows it with `show_command` (the
  // process's start state) and clears the results, as showing does.
  void Open(int show_command);

  // The message loop's work on one message of this thread: the window's keys
  // (Return, Escape), then the dialog keys (Tab, arrows, space), then dispatch.
  void Process(MSG& msg);

  // A control by its design name; nullptr when there is none.
  const Control* Find(std::string_view name) const;
  void SetInputText(screen::Input input, std::string_view text);
  screen::PaymentScreen& screen() { return *screen_; }
  // Grows the window by the guided panel and starts the suite's run in it
  // (win32/guided_panel.cpp); `source` is "install" or the suite file's path.
  void StartGuidedRun(acceptance::Suite suite, const std::string& source);
  GuidedPanel* guided_panel() { return guided_panel_.get(); }
  const screen::GuidedRun& guided_run() const { return *guided_; }
  int dpi() const { return dpi_; }
  // The result line as the window holds it (text as given, tone).
  screen::Tone result_tone() const { return result_tone_; }

  // ScreenView
  std::string InputText(screen::Input input) const override;
  std::string FieldText(screen::Field field) const override;
  std::string RawText() const override;
  void SetFieldText(screen::Field field, std::string_view text) override;
  void SetRawText(std::string_view text) override;
  void SetRawCaption(std::string_view caption) override;
  void SetFieldPrevious(screen::Field field, bool previous) override;
  void SetRawPrevious(bool previous) override;
  void SetResultLine(std::string_view text, screen::TextDirection direction,
                     screen::Tone tone) override;
  void SetBusy(bool busy) override;
  void SetTicking(bool ticking) override;
  void SetLogFolderTip(std::string_view tip) override;
  // The log folder box's tooltip as the window holds it.
  const std::wstring& log_folder_tip() const { return log_folder_tip_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  struct Item {
    const screen::ControlDesign* design;
    std::unique_ptr<Control> control;
  };

  void CreateControls();
  void CreateControl(std::size_t index);
  void ApplyDpi(int dpi);
  RECT DeviceRect(const screen::ControlDesign& design) const;
  std::pair<RECT, HFONT> FitLabel(const screen::ControlDesign& design);
  void FitClientArea();
  Item& ItemNamed(screen::ControlId id);
  const Item& ItemNamed(screen::ControlId id) const;
  Item* ItemOf(HWND control);
  Edit& EditNamed(screen::ControlId id);
  void MarkPrevious(screen::ControlId id, bool previous);
  void DrawResultLine(const DRAWITEMSTRUCT& draw) const;
  bool HandleKey(const MSG& msg);
  void RunPosted();
  void Post(std::function<void()> call);
  void RepaintForSystemChange();
  LRESULT QueryEndSession();
  void EndSession(bool ending);

  Options options_;
  int dpi_ = screen::kDesignDpi;
  std::unique_ptr<Fonts> fonts_;
  Logo logo_;
  std::vector<Item> items_;  // in the layout table's order
  HWND tooltip_ = nullptr;
  std::wstring log_folder_tip_;
  HWND last_focus_ = nullptr;
  std::wstring result_text_;
  screen::Tone result_tone_ = screen::Tone::Window;
  bool result_rtl_ = true;
  bool busy_ = false;
  bool blocking_shutdown_ = false;
  bool moving_ = false;  // the operator drags the window: where it goes is theirs

  // Calls posted from the payment's thread, run on the window's thread. The
  // handle they are posted to is read there too, while this thread may destroy
  // the window: it is kept apart, under the mutex, and cleared on WM_DESTROY.
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
  HWND post_target_ = nullptr;
  bool nudged_ = false;  // a message is on its way that runs every queued call
  std::unique_ptr<screen::PaymentRunner> runner_;
  std::unique_ptr<screen::GuidedRun> guided_;  // passes payments through until a suite begins
  std::unique_ptr<screen::PaymentScreen> screen_;
  std::unique_ptr<GuidedPanel> guided_panel_;
  int ClientHeight() const;  // the designed height, and the panel's below it
};

}  // namespace pcpos::win32
