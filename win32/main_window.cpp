#include "win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "screen/placement.h"
#include "screen/texts.h"
#include "win32/errors.h"
#include "text/utf16.h"
#include "win32/gdi.h"

namespace pcpos::win32 {
namespace {

constexpr UINT kRunPostedMessage = WM_APP + 1;
constexpr UINT_PTR kTickTimer = 1;
// A full message queue refuses a post for as long as the window's thread is
// behind; the payment's thread tries again this often, for this long, before
// it reports the failure.
constexpr std::chrono::milliseconds kPostRetryPause{20};
constexpr std::chrono::seconds kPostRetryLimit{10};
// What Windows shows while the session waits for the payment's journal row.
constexpr wchar_t kShutdownReason[] =
    L"A card payment is being cancelled and written to the journal.";
// Not WS_CLIPCHILDREN: a group box paints only its frame and caption, so the
// window must paint the face colour under it.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

using Id = screen::ControlId;

bool IsInput(Id id) {
  return id == Id::Edt_IP || id == Id::Edt_Port || id == Id::txtAmount || id == Id::Edt_LogPath;
}

const std::wstring& PreviousTip() {
  static const std::wstring tip = Wide(screen::kPreviousTip);
  return tip;
}

// The memo is the one control that would keep Tab for itself; here Tab moves
// on, as in the other fields.
LRESULT CALLBACK TabMovesOn(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                            DWORD_PTR) {
  if (message == WM_GETDLGCODE) {
    LRESULT code = DefSubclassProc(hwnd, message, wparam, lparam);
    if (wparam == VK_TAB) code &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
    return code;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &TabMovesOn, 0);
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// The whole window on the work area of the monitor it is on, title bar first.
void KeepOnWorkArea(HWND window, bool centre) {
  RECT outer{};
  GetWindowRect(window, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& w = monitor.rcWork;
  const screen::Rect work{w.left, w.top, w.right - w.left, w.bottom - w.top};
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const screen::Rect placed =
      centre ? screen::CentredOnWorkArea(width, height, work)
             : screen::KeptOnWorkArea({outer.left, outer.top, width, height}, work);
  if (placed.left == outer.left && placed.top == outer.top) return;
  SetWindowPos(window, nullptr, placed.left, placed.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

MainWindow::MainWindow(Options options) : options_(std::move(options)) {
  const HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON",
                                                   IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  Create(kWindowClass, screen::WindowCaption(options_.simulated_reader), kWindowStyle, 0, icon);
  {
    std::lock_guard lock(posted_mutex_);
    post_target_ = hwnd();
  }
  runner_ = std::make_unique<screen::PaymentRunner>(
      [this](std::function<void()> call) { Post(std::move(call)); });
  screen::PaymentScreen::Clock clock = options_.clock;
  if (!clock) clock = [] { return std::chrono::steady_clock::now(); };
  const auto double_click =
      options_.double_click.value_or(std::chrono::milliseconds(GetDoubleClickTime()));
  guided_ = std::make_unique<screen::GuidedRun>(*runner_);
  screen_ = std::make_unique<screen::PaymentScreen>(*this, *guided_, std::move(clock), double_click,
                                                    options_.transaction);
  CreateControls();
  ApplyDpi(WindowDpi(hwnd()));
}

MainWindow::~MainWindow() {
  // The payment's thread ends (its journal row written) before the controls go.
  screen_.reset();
  guided_.reset();
  runner_.reset();
  if (hwnd() != nullptr) KillTimer(hwnd(), kTickTimer);
}

void MainWindow::CreateControls() {
  const auto layout = screen::Layout();
  items_.reserve(layout.size());
  for (const screen::ControlDesign& design : layout) items_.push_back(Item{&design, nullptr});
  // Tab order is the order of creation: first what takes no focus, then the
  // rest in the table's tab order (inside a group box at the group's place).
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const screen::ControlDesign& design = *items_[i].design;
    if (design.tab < 0 || design.kind == screen::ControlKind::Group) CreateControl(i);
  }
  for (const Id id : screen::TabOrderIds()) {
    const auto index = static_cast<std::size_t>(id);
    if (items_[index].control == nullptr) CreateControl(index);
  }
  for (const Item& item : items_) {
    // A group box lies under its controls, or it would paint over them.
    if (item.design->kind == screen::ControlKind::Group) {
      SetWindowPos(item.control->hwnd(), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (item.design->kind == screen::ControlKind::Memo) {
      SetWindowSubclass(item.control->hwnd(), &TabMovesOn, 0, 0);
    }
  }
  for (const Id id : {Id::Edt_IP, Id::Edt_Port, Id::txtAmount, Id::Edt_LogPath}) {
    // A long folder shows its beginning.
    SendMessageW(ItemNamed(id).control->hwnd(), EM_SETSEL, 0, 0);
  }
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ == nullptr) throw std::runtime_error("CreateWindowExW failed for the tooltip");
  // Tips of more than one line (the log folder's) break at their "\n".
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 32767);
}

// Each kind of control as the system draws it, with the handlers it carries.
void MainWindow::CreateControl(std::size_t index) {
  Item& item = items_[index];
  const screen::ControlDesign& design = *item.design;
  const wchar_t* system_class = L"STATIC";
  DWORD style = 0;
  DWORD ex_style = 0;
  switch (design.kind) {
    // One line, never wrapped: the caption is measured to end before its
    // field, and a wrap at the measured width would drop its last character.
    case screen::ControlKind::Label:
      item.control = std::make_unique<Control>();
      style = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case screen::ControlKind::Edit: {
      auto edit = std::make_unique<Edit>();
      if (design.id == Id::Edt_LogPath) edit->on_change = [this] { screen_->LogFolderEdited(); };
      item.control = std::move(edit);
      system_class = L"EDIT";
      style = ES_AUTOHSCROLL | WS_TABSTOP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    }
    case screen::ControlKind::Memo:
      item.control = std::make_unique<Edit>();
      system_class = L"EDIT";
      style = ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case screen::ControlKind::Button: {
      auto button = std::make_unique<Button>();
      if (design.id == Id::Btn_Payment) button->on_click = [this] { screen_->PressPayment(); };
      if (design.id == Id::Btn_Clear) button->on_click = [this] { screen_->Clear(); };
      item.control = std::move(button);
      system_class = L"BUTTON";
      style = BS_PUSHBUTTON | WS_TABSTOP;
      break;
    }
    case screen::ControlKind::Group:
      item.control = std::make_unique<Control>();
      system_class = L"BUTTON";
      style = BS_GROUPBOX;
      break;
    case screen::ControlKind::Picture: {
      auto picture = std::make_unique<OwnerDrawn>();
      picture->on_draw = [this](const DRAWITEMSTRUCT& draw) { logo_.Draw(draw.hDC, draw.rcItem); };
      item.control = std::move(picture);
      style = SS_OWNERDRAW;
      break;
    }
    case screen::ControlKind::ResultLine: {
      auto line = std::make_unique<OwnerDrawn>();
      line->on_draw = [this](const DRAWITEMSTRUCT& draw) { DrawResultLine(draw); };
      item.control = std::move(line);
      style = SS_OWNERDRAW;
      break;
    }
  }
  item.control->Create(hwnd(), system_class, screen::InitialText(design), style, ex_style,
                       kFirstControlId + static_cast<int>(index));
}

RECT MainWindow::DeviceRect(const screen::ControlDesign& design) const {
  screen::Rect r = screen::Scaled(design.rect, dpi_);
  if (const screen::ControlDesign* parent = screen::Parent(design)) {
    const screen::Rect group = screen::Scaled(parent->rect, dpi_);
    r.left += group.left;
    r.top += group.top;
  }
  return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

// A label is sized to its caption. Its position never changes, so a caption
// that would reach its field in this face is drawn smaller, a pixel at a time
// and only as far as it must, until it ends at least 2 pixels before the field.
std::pair<RECT, HFONT> MainWindow::FitLabel(const screen::ControlDesign& design) {
  RECT r = DeviceRect(design);
  const int field_left =
      screen::Scaled(design.field_left, dpi_) +
      (screen::Parent(design) == nullptr ? 0
                                         : screen::Scaled(screen::Parent(design)->rect.left, dpi_));
  const std::wstring caption = Wide(design.caption);
  const WindowDc dc(hwnd());
  HFONT font = fonts_->regular();
  for (int pixels = screen::kFontPixels; pixels >= screen::kFontPixels / 2; --pixels) {
    font = fonts_->Sized(pixels);
    const Selection selected(dc.get(), font);
    // Measured the way the static control draws it (DrawTextW), not by the
    // glyphs' advance alone: the two differ, and the narrower one clips the
    // caption's last character.
    RECT ink{0, 0, 0, 0};
    DrawTextW(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &ink,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_LEFT);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    r.right = r.left + (ink.right - ink.left);
    r.bottom = r.top + metrics.tmHeight;
    if (r.right <= field_left - 2) break;
  }
  // The box reaches to 2 pixels before the field, whatever the caption measured,
  // so that no rounding of the drawn text against the measured one clips it.
  r.right = std::max<LONG>(r.right, field_left - 2);
  return {r, font};
}

void MainWindow::ApplyDpi(int dpi) {
  dpi_ = dpi;
  auto fonts = std::make_unique<Fonts>(dpi);
  fonts_.swap(fonts);  // the old fonts go once no control uses them
  for (Item& item : items_) {
    if (item.design->kind == screen::ControlKind::Label) {
      const auto [where, font] = FitLabel(*item.design);
      item.control->SetFont(font);
      item.control->MoveTo(where);
      continue;
    }
    item.control->SetFont(item.design->kind == screen::ControlKind::ResultLine ? fonts_->bold()
                                                                               : fonts_->regular());
    item.control->MoveTo(DeviceRect(*item.design));
  }
  if (guided_panel_) guided_panel_->Place(dpi, fonts_->regular(), fonts_->bold());
  const RECT outer = OuterRect(screen::Scaled(screen::kClientWidth, dpi),
                               screen::Scaled(ClientHeight(), dpi), kWindowStyle, 0, dpi);
  SetWindowPos(hwnd(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea();
  InvalidateRect(hwnd(), nullptr, TRUE);
}

// The client area is the designed size whatever the frame measures: where the
// system's frame does not follow the window's DPI (Wine), the outer size
// computed for that DPI would be off by the difference.
void MainWindow::FitClientArea() {
  RECT client{};
  RECT outer{};
  GetClientRect(hwnd(), &client);
  GetWindowRect(hwnd(), &outer);
  const int dw = screen::Scaled(screen::kClientWidth, dpi_) - client.right;
  const int dh = screen::Scaled(ClientHeight(), dpi_) - client.bottom;
  if (dw == 0 && dh == 0) return;
  SetWindowPos(hwnd(), nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Open(int show_command) {
  KeepOnWorkArea(hwnd(), true);
  ShowWindow(hwnd(), show_command);
  screen_->Show();
  SetFocus(ItemNamed(Id::Edt_IP).control->hwnd());
}

void MainWindow::Process(MSG& msg) {
  try {
    if (HandleKey(msg)) return;
    if (hwnd() != nullptr && IsDialogMessageW(hwnd(), &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  } catch (...) {
    ReportEventError(std::current_exception());
  }
}

// Return or Enter in an input or on the payment button starts a payment;
// Escape anywhere in the window cancels one. A held key does not repeat them.
bool MainWindow::HandleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) {
    return false;
  }
  if (hwnd() == nullptr || (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd))) return false;
  const bool repeat = (msg.lParam & (LPARAM{1} << 30)) != 0;
  if (msg.wParam == VK_ESCAPE) {
    if (!repeat) screen_->PressEscape();
    return true;
  }
  const Item* item = ItemOf(msg.hwnd);
  if (item == nullptr || !(IsInput(item->design->id) || item->design->id == Id::Btn_Payment)) {
    return false;
  }
  if (!repeat) screen_->PressReturn();
  return true;
}

const Control* MainWindow::Find(std::string_view name) const {
  for (const Item& item : items_) {
    if (item.design->name == name) return item.control.get();
  }
  return nullptr;
}

// The items are in the layout table's order, which is the ids' order.
MainWindow::Item& MainWindow::ItemNamed(screen::ControlId id) {
  return items_[static_cast<std::size_t>(id)];
}

const MainWindow::Item& MainWindow::ItemNamed(screen::ControlId id) const {
  return items_[static_cast<std::size_t>(id)];
}

MainWindow::Item* MainWindow::ItemOf(HWND control) {
  for (Item& item : items_) {
    if (item.control->hwnd() == control) return &item;
  }
  return nullptr;
}

Edit& MainWindow::EditNamed(screen::ControlId id) {
  Item& item = ItemNamed(id);
  auto* edit = dynamic_cast<Edit*>(item.control.get());
  if (edit == nullptr) throw std::logic_error(std::string(item.design->name) + " is no edit box");
  return *edit;
}

void MainWindow::SetInputText(screen::Input input, std::string_view text) {
  const Control& control = *ItemNamed(screen::InputControl(input)).control;
  control.SetText(text);
  SendMessageW(control.hwnd(), EM_SETSEL, 0, 0);
}

std::string MainWindow::InputText(screen::Input input) const {
  return ItemNamed(screen::InputControl(input)).control->Text();
}

std::string MainWindow::FieldText(screen::Field field) const {
  return ItemNamed(screen::FieldControl(field).id).control->Text();
}

std::string MainWindow::RawText() const { return ItemNamed(Id::Mem_RawResponse).control->Text(); }

void MainWindow::SetFieldText(screen::Field field, std::string_view text) {
  ItemNamed(screen::FieldControl(field).id).control->SetText(text);
}

void MainWindow::SetRawText(std::string_view text) {
  ItemNamed(Id::Mem_RawResponse).control->SetText(text);
}

void MainWindow::SetRawCaption(std::string_view caption) {
  ItemNamed(Id::Grp_RawResponse).control->SetText(caption);
}

void MainWindow::SetFieldPrevious(screen::Field field, bool previous) {
  MarkPrevious(screen::FieldControl(field).id, previous);
}

void MainWindow::SetRawPrevious(bool previous) { MarkPrevious(Id::Mem_RawResponse, previous); }

// Greyed by the edit box itself, with a tooltip saying why.
void MainWindow::MarkPrevious(screen::ControlId id, bool previous) {
  Edit& edit = EditNamed(id);
  if (edit.greyed() == previous) return;
  edit.SetGreyed(previous);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS | TTF_RTLREADING;
  tool.hwnd = hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(edit.hwnd());
  tool.lpszText = const_cast<wchar_t*>(PreviousTip().c_str());
  SendMessageW(tooltip_, previous ? TTM_ADDTOOLW : TTM_DELTOOLW, 0,
               reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::SetResultLine(std::string_view text, screen::TextDirection direction,
                               screen::Tone tone) {
  result_text_ = Wide(text);
  result_tone_ = tone;
  result_rtl_ = direction == screen::TextDirection::RightToLeft;
  // The window text keeps what was given, so that it can be read back.
  const Control& line = *ItemNamed(Id::Lbl_ResponseMsg).control;
  SetWindowTextW(line.hwnd(), result_text_.c_str());
  InvalidateRect(line.hwnd(), nullptr, TRUE);
}

void MainWindow::SetBusy(bool busy) {
  const Control& pay = *ItemNamed(Id::Btn_Payment).control;
  pay.SetText(busy ? screen::kCancelCaption : screen::kPayCaption);
  const HWND focus = GetFocus();
  for (const Id id : {Id::Btn_Clear, Id::Edt_IP, Id::Edt_Port, Id::txtAmount, Id::Edt_LogPath}) {
    const Control& control = *ItemNamed(id).control;
    // A disabled control cannot keep the focus; the button that now cancels takes it.
    if (busy && focus == control.hwnd()) SetFocus(pay.hwnd());
    control.Enable(!busy);
  }
  if (busy_ != busy) {
    busy_ = busy;
    POINT at{};
    GetCursorPos(&at);
    if (WindowFromPoint(at) == hwnd() || IsChild(hwnd(), WindowFromPoint(at))) {
      SetCursor(LoadCursorW(nullptr, busy ? IDC_APPSTARTING : IDC_ARROW));
    }
  }
}

void MainWindow::SetTicking(bool ticking) {
  if (ticking) {
    SetTimer(hwnd(), kTickTimer, 1000, nullptr);
  } else {
    KillTimer(hwnd(), kTickTimer);
  }
}

void MainWindow::SetLogFolderTip(std::string_view tip) {
  const bool added = !log_folder_tip_.empty();
  log_folder_tip_ = Wide(tip);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(ItemNamed(Id::Edt_LogPath).control->hwnd());
  tool.lpszText = log_folder_tip_.data();
  SendMessageW(tooltip_, added ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
               reinterpret_cast<LPARAM>(&tool));
}

// On the payment's thread. The call waits in the queue; one message at a time
// tells the window to run the queue, and a message the system refuses is
// posted again until it is taken. A window that is gone takes nothing: it
// cancelled and waited for the payment before it went.
void MainWindow::Post(std::function<void()> call) {
  std::unique_lock lock(posted_mutex_);
  if (post_target_ == nullptr) return;
  posted_.push_back(std::move(call));
  const auto give_up = std::chrono::steady_clock::now() + kPostRetryLimit;
  while (!nudged_ && post_target_ != nullptr) {
    if (PostMessageW(post_target_, kRunPostedMessage, 0, 0)) {
      nudged_ = true;
      return;
    }
    const DWORD error = GetLastError();
    if (std::chrono::steady_clock::now() > give_up) {
      throw std::runtime_error("PostMessageW failed: error " + std::to_string(error));
    }
    lock.unlock();
    std::this_thread::sleep_for(kPostRetryPause);
    lock.lock();
  }
}

void MainWindow::RunPosted() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(posted_mutex_);
    calls.swap(posted_);
    nudged_ = false;
  }
  for (auto& call : calls) call();
}

// The face colour, the theme and the controls' own colours are read when they
// are drawn: a change repaints everything, the logo's background included.
void MainWindow::RepaintForSystemChange() {
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Signing out or shutting down during a payment: the payment is cancelled at
// once, and the session is held, with a reason Windows shows, until its row is
// in the journal (EndSession).
LRESULT MainWindow::QueryEndSession() {
  if (runner_ != nullptr && runner_->IsRunning()) {
    blocking_shutdown_ = ShutdownBlockReasonCreate(hwnd(), kShutdownReason) != FALSE;
    screen_->PressEscape();
  }
  return TRUE;
}

// `ending`: the session ends once this returns, and the process with it, so the
// payment's thread is waited for here (its row written); otherwise the session
// goes on, and so does the window, the cancelled payment ending as usual.
void MainWindow::EndSession(bool ending) {
  if (ending && screen_ != nullptr) screen_->Close();
  if (blocking_shutdown_) ShutdownBlockReasonDestroy(hwnd());
  blocking_shutdown_ = false;
}

void MainWindow::DrawResultLine(const DRAWITEMSTRUCT& draw) const {
  const HDC dc = draw.hDC;
  const RECT& box = draw.rcItem;
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  const std::wstring& text = result_text_;
  if (text.empty()) return;
  const std::optional<screen::Rgb> tone = screen::ToneColour(result_tone_);
  SetTextColor(dc, tone ? RGB(tone->r, tone->g, tone->b) : GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, TRANSPARENT);
  const Selection bold(dc, fonts_->bold());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  // Centred by the system on the shaped text, in the line's reading order.
  const bool rtl = result_rtl_;
  SetTextAlign(dc, TA_CENTER | TA_TOP | (rtl ? TA_RTLREADING : 0));
  const int x = (box.left + box.right) / 2;
  const int y = box.top + (box.bottom - box.top - metrics.tmHeight) / 2;
  ExtTextOutW(dc, x, y, ETO_CLIPPED | (rtl ? ETO_RTLREADING : 0), &box, text.c_str(),
              static_cast<UINT>(text.size()), nullptr);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
      if (guided_panel_) {
        if (auto brush = guided_panel_->ColourStatic(reinterpret_cast<HDC>(wparam),
                                                     reinterpret_cast<HWND>(lparam))) {
          return *brush;
        }
      }
      break;
    case WM_TIMER:
      if (wparam == kTickTimer && screen_ != nullptr) screen_->Tick();
      return 0;
    case kRunPostedMessage:
      RunPosted();
      return 0;
    case WM_SETCURSOR:
      if (busy_ && LOWORD(lparam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      break;
    case WM_SYSCOLORCHANGE:
      // The common controls hear of it only from their parent.
      for (const Item& item : items_) SendMessageW(item.control->hwnd(), message, wparam, lparam);
      RepaintForSystemChange();
      return 0;
    case WM_THEMECHANGED:
      RepaintForSystemChange();
      break;
    case WM_QUERYENDSESSION:
      return QueryEndSession();
    case WM_ENDSESSION:
      EndSession(wparam != FALSE);
      return 0;
    case WM_DPICHANGED: {
      ApplyDpi(LOWORD(wparam));
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      FitClientArea();
      // A larger scale on the same monitor grows the window past its edge.
      if (!moving_) KeepOnWorkArea(hwnd(), false);
      return 0;
    }
    case WM_ENTERSIZEMOVE:
    case WM_EXITSIZEMOVE:
      moving_ = message == WM_ENTERSIZEMOVE;
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      // Never above the designed client area in the frame the system draws (under
      // Wine the frame does not grow with the DPI, and 2 x 451 would widen it).
      RECT client{};
      RECT outer{};
      GetClientRect(hwnd(), &client);
      GetWindowRect(hwnd(), &outer);
      const LONG frame_w = (outer.right - outer.left) - client.right;
      const LONG frame_h = (outer.bottom - outer.top) - client.bottom;
      info->ptMinTrackSize.x = std::min<LONG>(screen::Scaled(screen::kMinOuterWidth, dpi_),
                                              screen::Scaled(screen::kClientWidth, dpi_) + frame_w);
      info->ptMinTrackSize.y = std::min<LONG>(screen::Scaled(screen::kMinOuterHeight, dpi_),
                                              screen::Scaled(ClientHeight(), dpi_) + frame_h);
      // The designed size at a high DPI may exceed a small screen; it is kept
      // (the fixed border offers no other).
      info->ptMaxTrackSize.x =
          std::max<LONG>(info->ptMaxTrackSize.x, 4 * screen::Scaled(screen::kClientWidth, dpi_));
      info->ptMaxTrackSize.y =
          std::max<LONG>(info->ptMaxTrackSize.y, 4 * screen::Scaled(ClientHeight(), dpi_));
      return 0;
    }
    case WM_ACTIVATE:
      // Where the focus was is where it returns when the window is active again.
      if (LOWORD(wparam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd(), focus)) last_focus_ = focus;
      }
      break;
    case WM_SETFOCUS:
      if (last_focus_ != nullptr && IsWindow(last_focus_) && IsWindowEnabled(last_focus_)) {
        SetFocus(last_focus_);
      } else if (!items_.empty()) {
        SetFocus(ItemNamed(Id::Edt_IP).control->hwnd());
      }
      return 0;
    case WM_SETTINGCHANGE:
      // The operator may change the double-click time while the window is open.
      if (wparam == SPI_SETDOUBLECLICKTIME && !options_.double_click && screen_ != nullptr) {
        screen_->SetDoubleClickTime(std::chrono::milliseconds(GetDoubleClickTime()));
      }
      break;
    case WM_CLOSE:
      // The payment is cancelled and its thread joined before the window goes.
      if (screen_ != nullptr) screen_->Close();
      if (guided_ != nullptr) guided_->Close();  // an unfinished run's report is written
      DestroyWindow(hwnd());
      return 0;
    case WM_DESTROY: {
      {
        std::lock_guard lock(posted_mutex_);
        post_target_ = nullptr;
      }
      KillTimer(hwnd(), kTickTimer);
      if (options_.quit_when_closed) PostQuitMessage(0);
      return 0;
    }
    default:
      break;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

}  // namespace pcpos::win32
