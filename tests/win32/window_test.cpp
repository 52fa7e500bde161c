// The Win32 window over the screen layer: that it is laid out as the table says
// at 96 and 192 DPI, draws in the fonts and colours it should, and carries the
// operator's presses and keys to the screen and the payment's outputs back.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "payment/defaults.h"
#include "payment/journal.h"
#include "screen/layout.h"
#include "screen/log_paths.h"
#include "screen/texts.h"
#include "tests/support/answers.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"
#include "win32/application.h"
#include "win32/display.h"
#include "win32/errors.h"
#include "win32/main_window.h"
#include "text/utf16.h"

namespace pcpos::win32 {
namespace {

using namespace std::chrono_literals;
using testing::Answering;
using testing::ScratchDir;
using testing::Silent;
using testing::TcpPeer;

constexpr auto kDoubleClick = 500ms;

std::string TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The window with a clock the test moves, a log folder of its own, and a
// message pump like the program's.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenWindow(); }

  void OpenWindow(TransactionOptions transaction = {}) {
    window_.reset();
    MainWindow::Options options;
    options.clock = [this] { return now_; };
    options.double_click = kDoubleClick;
    options.quit_when_closed = false;
    options.transaction = std::move(transaction);
    window_ = std::make_unique<MainWindow>(options);
    window_->Open(SW_HIDE);
  }

  HWND Control(std::string_view name) const {
    const auto* control = window_->Find(name);
    return control != nullptr ? control->hwnd() : nullptr;
  }
  std::string Text(std::string_view name) const { return TextOf(Control(name)); }

  void PointAt(const TcpPeer& peer, std::string_view amount = "1000") {
    window_->SetInputText(screen::Input::Host, "127.0.0.1");
    window_->SetInputText(screen::Input::Port, peer.port_text());
    window_->SetInputText(screen::Input::Amount, amount);
    window_->SetInputText(screen::Input::LogFolder, folder_.folder());
  }

  // Runs the window's messages until `done` or a generous limit.
  template <typename Done>
  bool PumpUntil(Done done, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) window_->Process(msg);
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }

  // A key as the system delivers it to the control with the focus.
  void Key(std::string_view control, WPARAM key) {
    PostMessageW(Control(control), WM_KEYDOWN, key, 1);
    PumpUntil([] { return true; });
  }
  // The same key, but the pump stops once the key has been handled, so that
  // what the press started is seen before a fast peer's answer ends it.
  void KeyAlone(std::string_view control, WPARAM key) {
    PostMessageW(Control(control), WM_KEYDOWN, key, 1);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const bool pressed = msg.message == WM_KEYDOWN && msg.wParam == key;
      window_->Process(msg);
      if (pressed) break;
    }
  }
  void Click(std::string_view button) { SendMessageW(Control(button), BM_CLICK, 0, 0); }
  bool WaitEnded() {
    return PumpUntil([this] { return window_->screen().phase() == screen::Phase::Finished; });
  }

  // An owner-drawn control drawn by the window into a bitmap: its pixels as
  // 0xRRGGBB, row by row, and its size in `box`.
  std::vector<std::uint32_t> Drawn(std::string_view name, RECT& box) const {
    const HWND control = Control(name);
    GetClientRect(control, &box);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, box.right, -box.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_STATIC;
    draw.CtlID = static_cast<UINT>(GetDlgCtrlID(control));
    draw.itemAction = ODA_DRAWENTIRE;
    draw.hwndItem = control;
    draw.hDC = dc;
    draw.rcItem = box;
    SendMessageW(window_->hwnd(), WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> drawn(pixels, pixels + box.right * box.bottom);
    for (std::uint32_t& p : drawn) p &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return drawn;
  }

  // The result line drawn by the window into a bitmap; counts pixels of `colour`.
  int ResultLinePixels(COLORREF colour, RECT* ink = nullptr) const {
    RECT box{};
    const std::vector<std::uint32_t> pixels = Drawn("Lbl_ResponseMsg", box);
    const std::uint32_t wanted =
        (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    const std::uint32_t face = GetSysColor(COLOR_BTNFACE);
    const std::uint32_t background =
        (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    int count = 0;
    RECT found{box.right, box.bottom, -1, -1};
    for (LONG y = 0; y < box.bottom; ++y) {
      for (LONG x = 0; x < box.right; ++x) {
        const std::uint32_t p = pixels[static_cast<std::size_t>(y * box.right + x)];
        if (p == wanted) ++count;
        if (p != background) {
          found = RECT{std::min(found.left, x), std::min(found.top, y),
                       std::max(found.right, x + 1), std::max(found.bottom, y + 1)};
        }
      }
    }
    if (ink != nullptr) *ink = found;
    return count;
  }

  // The colours the window gives an edit box to paint its text with.
  COLORREF EditTextColour(std::string_view name) const {
    const HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(window_->hwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(Control(name)));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
  }

  std::string ToolTipText(std::string_view name) const {
    HWND tooltip = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM found) -> BOOL {
          wchar_t class_name[64] = {};
          GetClassNameW(hwnd, class_name, 64);
          if (std::wstring_view(class_name) != TOOLTIPS_CLASSW) return TRUE;
          *reinterpret_cast<HWND*>(found) = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&tooltip));
    // Wine copies the whole tip whatever size it is given: room for the longest.
    static wchar_t text[4096];
    text[0] = L'\0';
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_->hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(Control(name));
    tool.lpszText = text;
    if (tooltip == nullptr ||
        !SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
      return {};
    SendMessageW(tooltip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
    return Utf8(text);
  }

  std::chrono::steady_clock::time_point now_ = std::chrono::steady_clock::now();
  ScratchDir folder_{"pcpos-win32-"};
  std::unique_ptr<MainWindow> window_;
};

// Each control where the table puts it, in the parent's coordinates, at `dpi`.
void ExpectLaidOut(const MainWindow& window, int dpi) {
  RECT client{};
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, screen::Scaled(screen::kClientWidth, dpi));
  EXPECT_EQ(client.bottom, screen::Scaled(screen::kClientHeight, dpi));
  for (const screen::ControlDesign& design : screen::Layout()) {
    SCOPED_TRACE(std::string(design.name) + " at " + std::to_string(dpi) + " DPI");
    RECT r{};
    GetWindowRect(window.Find(design.name)->hwnd(), &r);
    const HWND parent = design.parent.empty() ? window.hwnd() : nullptr;
    POINT origin{0, 0};
    if (parent != nullptr) {
      ClientToScreen(parent, &origin);
    } else {
      RECT group{};
      GetWindowRect(window.Find(design.parent)->hwnd(), &group);
      origin = {group.left, group.top};
    }
    const screen::Rect want = screen::Scaled(design.rect, dpi);
    EXPECT_EQ(r.left - origin.x, want.left);
    EXPECT_EQ(r.top - origin.y, want.top);
    if (design.kind == screen::ControlKind::Label) {
      // Sized to its caption, which ends before its field.
      EXPECT_GT(r.right - r.left, 0);
      EXPECT_LE(r.right - origin.x, screen::Scaled(design.field_left, dpi) - 2);
    } else {
      EXPECT_EQ(r.right - r.left, want.width);
      EXPECT_EQ(r.bottom - r.top, want.height);
    }
  }
}

std::pair<std::wstring, LOGFONTW> FontOf(HWND control) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW logical{};
  GetObjectW(font, sizeof logical, &logical);
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, old);
  DeleteDC(dc);
  return {face, logical};
}

TEST_F(WindowTest, IsLaidOutCaptionedAndOrderedAsTheTableSaysAt96And192Dpi) {
  // Drawn at 96 DPI first: the test program, like the window, is per-monitor aware.
  ASSERT_EQ(window_->dpi(), 96);
  ExpectLaidOut(*window_, 96);
  EXPECT_EQ(TextOf(window_->hwnd()), screen::WindowCaption());
  for (const screen::ControlDesign& design : screen::Layout()) {
    if (design.kind == screen::ControlKind::ResultLine) continue;  // cleared by showing
    EXPECT_EQ(Text(design.name), screen::InitialText(design)) << design.name;
  }
  EXPECT_EQ(Text("Lbl_ResponseMsg"), "");
  // Common controls 6 through the manifest (Wine's DllGetVersion says 5.81 even
  // then): only their button answers this message.
  SIZE ideal{};
  EXPECT_TRUE(
      SendMessageW(Control("Btn_Payment"), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));

  // Tab goes through the controls in the table's order, and round again.
  std::vector<std::string_view> order;
  HWND at = Control("Edt_IP");
  for (std::size_t i = 0; i < screen::TabOrder().size(); ++i) {
    for (const screen::ControlDesign& design : screen::Layout()) {
      if (Control(design.name) == at) order.push_back(design.name);
    }
    at = GetNextDlgTabItem(window_->hwnd(), at, FALSE);
  }
  EXPECT_EQ(order, screen::TabOrder());
  EXPECT_EQ(at, Control("Edt_IP"));

  // A move to a monitor at 200 %: the system suggests the new outer rectangle.
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window_->hwnd(), GWL_STYLE));
  RECT suggested = OuterRect(screen::Scaled(screen::kClientWidth, 192),
                             screen::Scaled(screen::kClientHeight, 192), style, 0, 192);
  OffsetRect(&suggested, 100 - suggested.left, 100 - suggested.top);
  SendMessageW(window_->hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window_->dpi(), 192);
  ExpectLaidOut(*window_, 192);
  EXPECT_EQ(FontOf(Control("Edt_IP")).second.lfHeight, -22);
}

TEST_F(WindowTest, DrawsInTahomaElevenPixelsAndTheResultLineBold) {
  for (const screen::ControlDesign& design : screen::Layout()) {
    const auto [face, logical] = FontOf(Control(design.name));
    SCOPED_TRACE(design.name);
    // The face the system really selected, not only the one asked for.
    EXPECT_EQ(Utf8(face), screen::kFontFace);
    if (design.kind == screen::ControlKind::Label) {
      // Smaller only where the caption would reach its field (the layout test).
      EXPECT_LE(-logical.lfHeight, screen::kFontPixels);
      EXPECT_GE(-logical.lfHeight, screen::kFontPixels - 2);
    } else {
      EXPECT_EQ(logical.lfHeight, -screen::kFontPixels);
    }
    EXPECT_EQ(logical.lfWeight,
              design.kind == screen::ControlKind::ResultLine ? FW_BOLD : FW_NORMAL);
  }
}

struct Ending {
  const char* name;
  TcpPeer::Script script;
  screen::Tone tone;
  std::string_view outcome;
};

class WindowEndingTest : public WindowTest, public ::testing::WithParamInterface<Ending> {};

// Return in an input pays; the line is drawn in its tone, centred, and the
// response log and the journal row are written as on Linux.
TEST_P(WindowEndingTest, ShowsTheOutcomeInItsColour) {
  TcpPeer peer(GetParam().script);
  PointAt(peer);
  KeyAlone("Edt_IP", VK_RETURN);
  EXPECT_EQ(Text("Btn_Payment"), screen::kCancelCaption);
  EXPECT_FALSE(IsWindowEnabled(Control("txtAmount")));
  ASSERT_TRUE(WaitEnded());
  EXPECT_EQ(Text("Btn_Payment"), screen::kPayCaption);
  EXPECT_TRUE(IsWindowEnabled(Control("txtAmount")));

  EXPECT_EQ(window_->result_tone(), GetParam().tone);
  const screen::Rgb rgb = *screen::ToneColour(GetParam().tone);
  RECT ink{};
  EXPECT_GT(ResultLinePixels(RGB(rgb.r, rgb.g, rgb.b), &ink), 20);
  const int right_margin = screen::Scaled(411, window_->dpi()) - ink.right;
  // Centred on the shaped text (Wine's own centring of a right-to-left static
  // ends ~49 px short); the ink's bearings leave a few pixels either way.
  EXPECT_NEAR(ink.left, right_margin, 6) << Text("Lbl_ResponseMsg");
  for (const screen::Tone other : {screen::Tone::Green, screen::Tone::Red, screen::Tone::Amber}) {
    if (other == GetParam().tone) continue;
    const screen::Rgb c = *screen::ToneColour(other);
    EXPECT_EQ(ResultLinePixels(RGB(c.r, c.g, c.b)), 0);
  }
  const std::string journal = FileText(folder_.path() / std::string(kJournalFileName));
  EXPECT_NE(journal.find(std::string(",") + std::string(GetParam().outcome) + ","),
            std::string::npos)
      << journal;
  if (GetParam().tone == screen::Tone::Green) {
    EXPECT_EQ(Text("txtTerminalNo"), "12345678");
    EXPECT_EQ(Text("txtCardNo"), "123456******7890");
    // The answer, then the log it was written to.
    EXPECT_EQ(Text("Mem_RawResponse"), std::string(testing::kAnswer) + "\r\nLog: " +
                                           folder_.folder() + "Selvarin-PcPosLog.txt");
    EXPECT_EQ(FileText(folder_.path() / "Selvarin-PcPosLog.txt"), testing::kAnswer);
  }
}

std::string Declined() {
  std::string answer = testing::kAnswer;
  answer.replace(answer.find("0300102000200") + 11, 2, "51");
  return answer;
}

// A reset after sending reads as a graceful close under Wine; both are amber.
INSTANTIATE_TEST_SUITE_P(
    Endings, WindowEndingTest,
    ::testing::Values(
        Ending{"Approved", Answering(testing::kAnswer), screen::Tone::Green, "approved"},
        Ending{"Declined", Answering(Declined()), screen::Tone::Red, "declined"},
        Ending{"ResetAfterSending", testing::Resetting(), screen::Tone::Amber, "unknown"}),
    [](const ::testing::TestParamInfo<Ending>& ending) { return std::string(ending.param.name); });

TEST_F(WindowTest, TheButtonIgnoresADoubleClickAndCancelsOnTheNextPress) {
  TcpPeer peer(Silent());
  PointAt(peer);
  Click("Btn_Payment");
  ASSERT_TRUE(PumpUntil([&] { return !peer.received().empty(); }));
  Click("Btn_Payment");  // the second click of a double-click
  PumpUntil([] { return true; });
  EXPECT_EQ(window_->screen().phase(), screen::Phase::Running);

  // The waiting line moves once a second, on the window's own timer.
  now_ += 5s;
  const std::string five = screen::ResultLineDisplayText(screen::WaitingText(5, 115));
  EXPECT_TRUE(PumpUntil([&] { return Text("Lbl_ResponseMsg") == five; }, 5s))
      << Text("Lbl_ResponseMsg");

  now_ += kDoubleClick;
  Click("Btn_Payment");
  ASSERT_TRUE(WaitEnded());
  EXPECT_EQ(window_->result_tone(), screen::Tone::Amber);  // the request had gone out
  EXPECT_EQ(peer.accepted(), 1);
}

TEST_F(WindowTest, EscapeCancelsAndReturnOnTheCancelButtonDoesNot) {
  TcpPeer peer(Silent());
  PointAt(peer);
  SetFocus(Control("txtAmount"));
  ASSERT_EQ(GetFocus(), Control("txtAmount"));
  Key("txtAmount", VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return !peer.received().empty(); }));
  // The input is disabled now; the button that cancels has the focus.
  EXPECT_EQ(GetFocus(), Control("Btn_Payment"));
  Key("Btn_Payment", VK_RETURN);
  EXPECT_EQ(window_->screen().phase(), screen::Phase::Running);
  Key("txtCardNo", VK_ESCAPE);
  ASSERT_TRUE(WaitEnded());
  EXPECT_EQ(peer.accepted(), 1);
}

// Tab through the dialog keys, also out of the raw pane, which as a multi-line
// box would otherwise take it as a character.
TEST_F(WindowTest, TabMovesTheFocusOnEvenFromTheRawPane) {
  SetFocus(Control("Edt_LogPath"));
  Key("Edt_LogPath", VK_TAB);
  EXPECT_EQ(GetFocus(), Control("Btn_Payment"));
  SetFocus(Control("Mem_RawResponse"));
  Key("Mem_RawResponse", VK_TAB);
  EXPECT_EQ(GetFocus(), Control("txtCardNo"));
  EXPECT_EQ(Text("Mem_RawResponse"), "");
}

TEST_F(WindowTest, GreysTheEarlierValuesWithATipUntilClearing) {
  TcpPeer approving(Answering(testing::kAnswer));
  PointAt(approving);
  Key("Edt_Port", VK_RETURN);
  ASSERT_TRUE(WaitEnded());
  const COLORREF normal = EditTextColour("txtRRN");
  EXPECT_EQ(ToolTipText("txtRRN"), "");

  TcpPeer silent(Silent());
  PointAt(silent);
  now_ += kDoubleClick;
  Key("Edt_Port", VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return !silent.received().empty(); }));
  // (The raw pane is emptied as the request goes out: nothing of it is left to grey.)
  for (const std::string_view name : {"txtRRN", "txtCardNo"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(EditTextColour(name), GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(ToolTipText(name), screen::kPreviousTip);
  }
  EXPECT_NE(normal, GetSysColor(COLOR_GRAYTEXT));
  Key("Edt_Port", VK_ESCAPE);
  ASSERT_TRUE(WaitEnded());

  now_ += kDoubleClick;
  Click("Btn_Clear");
  EXPECT_EQ(Text("txtRRN"), "");
  EXPECT_EQ(EditTextColour("txtRRN"), normal);
  EXPECT_EQ(ToolTipText("txtRRN"), "");
}

// Where the files go, on the screen: the log folder box's tip follows the text
// as it is typed (the raw pane's log line is checked with the approval above).
// The window opened whole on its monitor's work area.
TEST_F(WindowTest, TipsWhereTheFilesGoAndOpensOnTheWorkArea) {
  EXPECT_EQ(ToolTipText("Edt_LogPath"), screen::LogFolderTip(DefaultLogFolder()));
  window_->SetInputText(screen::Input::LogFolder, folder_.folder() + "day1");
  EXPECT_EQ(ToolTipText("Edt_LogPath"), screen::LogFolderTip(folder_.folder() + "day1"));

  RECT outer{};
  GetWindowRect(window_->hwnd(), &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_->hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_GE(outer.top, monitor.rcWork.top);
  EXPECT_GE(outer.left, monitor.rcWork.left);
}

// Closing cancels the payment and waits for its thread: the journal has its row
// by the time the window is gone.
TEST_F(WindowTest, ClosingDuringAPaymentEndsItAndJournalsIt) {
  TcpPeer peer(Silent());
  PointAt(peer);
  Key("Edt_IP", VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return !peer.received().empty(); }));
  SendMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window_->hwnd(), nullptr);
  const std::string journal = FileText(folder_.path() / std::string(kJournalFileName));
  EXPECT_NE(journal.find(",unknown,"), std::string::npos) << journal;
  peer.Join();
}

// Signing out during a payment: the query cancels it and lets the session
// end; the end waits for the payment's thread, so its row is in the journal
// before the system ends the process.
TEST_F(WindowTest, SigningOutDuringAPaymentCancelsItAndWaitsForItsRow) {
  TcpPeer peer(Silent());
  PointAt(peer);
  Key("Edt_IP", VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return !peer.received().empty(); }));
  EXPECT_EQ(SendMessageW(window_->hwnd(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_EQ(window_->screen().phase(), screen::Phase::Cancelling);
  SendMessageW(window_->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  const std::string journal = FileText(folder_.path() / std::string(kJournalFileName));
  EXPECT_NE(journal.find(",unknown,"), std::string::npos) << journal;
  peer.Join();
}

// The log folder is looked at on the payment's thread: while the file system
// hangs on it (a share whose server is down), the window draws its waiting
// line and takes Escape; the payment ends once the file system answers.
TEST_F(WindowTest, AHangingLogFolderLeavesTheWindowDrawingAndCancelling) {
  std::promise<void> asked;
  std::promise<void> answer;
  std::shared_future<void> answered = answer.get_future().share();
  TransactionOptions transaction;
  transaction.is_folder = [&asked, answered](const std::string&) {
    asked.set_value();
    answered.wait();
    return true;
  };
  OpenWindow(transaction);
  TcpPeer peer(Silent());
  PointAt(peer);
  std::string folder = folder_.folder();
  folder.pop_back();  // no separator at the end: the file system is asked
  window_->SetInputText(screen::Input::LogFolder, folder);
  KeyAlone("Edt_IP", VK_RETURN);
  ASSERT_EQ(asked.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_GT(ResultLinePixels(GetSysColor(COLOR_WINDOWTEXT)), 20) << "the waiting line";
  Key("txtCardNo", VK_ESCAPE);
  EXPECT_EQ(window_->screen().phase(), screen::Phase::Cancelling);
  answer.set_value();
  ASSERT_TRUE(WaitEnded());
  EXPECT_EQ(window_->result_tone(), screen::Tone::Red);
  EXPECT_EQ(peer.accepted(), 0);
}

// The logo is drawn over the face colour as it is when drawn: a change of the
// system's colours shows at once.
TEST_F(WindowTest, TheLogoFollowsTheSystemsFaceColour) {
  RECT box{};
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const auto rgb = [](COLORREF c) -> std::uint32_t {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  };
  const std::vector<std::uint32_t> before = Drawn("Image1", box);
  EXPECT_EQ(box.right, screen::Scaled(105, window_->dpi()));
  EXPECT_EQ(before.front(), rgb(face)) << "the corner lies outside the picture";
  EXPECT_GT(
      std::count_if(before.begin(), before.end(), [&](std::uint32_t p) { return p != rgb(face); }),
      box.right * box.bottom / 4);
  const int element = COLOR_BTNFACE;
  const COLORREF other = RGB(200, 220, 240);
  ASSERT_TRUE(SetSysColors(1, &element, &other));
  const std::vector<std::uint32_t> after = Drawn("Image1", box);
  SetSysColors(1, &element, &face);
  EXPECT_EQ(after.front(), rgb(other));
}

// --demo: the window's own simulated reader, nothing else listening; the last
// two digits of the amount choose its answer.
TEST(DemoMode, PaysThroughTheProgramsOwnSimulatedReader) {
#ifndef PCPOS_WIN32_DEMO
  GTEST_SKIP() << "built without the simulator";
#else
  ScratchDir folder("pcpos-win32-demo-");
  MainWindow::Options options;
  options.quit_when_closed = false;
  options.double_click = 0ms;  // the second press comes at once after the first ends
  Session session = OpenSession(startup::ParseCommandLine({"pcpos-tester.exe", "--demo", "--amount",
                                                           "1000", "--log-dir", folder.folder()}),
                                options);
  ASSERT_NE(session.simulated_reader, nullptr);
  MainWindow& window = *session.window;
  window.Open(SW_HIDE);
  EXPECT_EQ(TextOf(window.hwnd()), screen::WindowCaption(true));
  EXPECT_EQ(window.InputText(screen::Input::Host), "127.0.0.1");
  EXPECT_EQ(window.InputText(screen::Input::Port),
            std::to_string(session.simulated_reader->port()));
  // Return in the address field starts the payment while its message is
  // handled; the answer comes back as a posted message.
  const auto pay = [&window](std::string_view amount) {
    window.SetInputText(screen::Input::Amount, amount);
    PostMessageW(window.Find("Edt_IP")->hwnd(), WM_KEYDOWN, VK_RETURN, 1);
    const auto end = std::chrono::steady_clock::now() + 20s;
    do {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) window.Process(msg);
      if (window.screen().phase() == screen::Phase::Finished) break;
    } while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT) != WAIT_FAILED &&
             std::chrono::steady_clock::now() < end);
    return window.result_tone();
  };
  EXPECT_EQ(pay("1000"), screen::Tone::Green);
  EXPECT_EQ(pay("1030"), screen::Tone::Red);
  session.window.reset();
  const std::string journal = FileText(folder.path() / std::string(kJournalFileName));
  EXPECT_NE(journal.find(",approved,"), std::string::npos) << journal;
  EXPECT_NE(journal.find(",declined,"), std::string::npos) << journal;
#endif
}

// An error that escapes a window's handler is shown with the application's
// title and the program goes on; one during start-up in "Application Error".
class Throwing : public Window {
 public:
  Throwing() { Create(L"PcPosThrowingTestWindow", "t", WS_OVERLAPPEDWINDOW, 0, nullptr); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_APP) throw std::runtime_error("Disk full");
    return Window::HandleMessage(message, wparam, lparam);
  }
};

TEST(ErrorBoxes, ShowAnEscapedErrorWithTheTitleAndAStartupErrorAsApplicationError) {
  std::vector<std::pair<std::string, std::string>> shown;
  SetMessageBox([&](const std::string& caption, const std::string& text) {
    shown.emplace_back(caption, text);
  });
  Throwing window;
  EXPECT_EQ(SendMessageW(window.hwnd(), WM_APP, 0, 0), 0);
  ReportStartupError(std::runtime_error("WSAStartup"));
  SetMessageBox(ShowStopBox);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, "win32_window_test");  // first character as it is
  EXPECT_EQ(shown[0].second, "Disk full.");
  EXPECT_EQ(shown[1].first, "Application Error");
  EXPECT_TRUE(shown[1].second.starts_with(
      "Exception std::runtime_error in module win32_window_test.exe at "))
      << shown[1].second;
  EXPECT_TRUE(shown[1].second.ends_with(".\r\nWSAStartup.\r\n")) << shown[1].second;
}

}  // namespace
}  // namespace pcpos::win32

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  return RUN_ALL_TESTS();
}
