#include "win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "screen/placement.h"
#include "screen/texts.h"
#include "win32/errors.h"
#include "text/utf16.h"

namespace pcpos::win32 {
namespace {

constexpr UINT kRunPostedMessage = WM_APP + 1;
constexpr UINT_PTR kTickTimer = 1;
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

// Wine draws a line's isolate marks as boxes and ignores them for the order, so
// they are taken off and what they asked for is done here: the first strong
// character sets the reading order, right to left when there is none.
bool IsIsolateMark(wchar_t c) { return c >= 0x2066 && c <= 0x2069; }

bool ReadsRightToLeft(std::wstring_view text) {
  for (const wchar_t c : text) {
    const bool digit = (c >= 0x0660 && c <= 0x0669) || (c >= 0x06F0 && c <= 0x06F9);
    if (!digit && ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
                   (c >= 0xFE70 && c <= 0xFEFC))) {
      return true;
    }
    if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= 0x00C0 && c <= 0x024F) ||
        (c >= 0x0370 && c <= 0x052F)) {
      return false;
    }
  }
  return true;
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
  for (const screen::ControlDesign& design : layout) {
    items_.push_back(std::make_unique<Item>());
    items_.back()->design = &design;
  }
  const auto make = [this](Item& item) {
    const screen::ControlDesign& design = *item.design;
    const std::string text = screen::InitialText(design);
    const wchar_t* system_class = L"STATIC";
    DWORD style = 0;
    DWORD ex_style = 0;
    switch (design.kind) {
      // One line, never wrapped: the caption is measured to end before its
      // field, and a wrap at the measured width would drop its last character.
      case screen::ControlKind::Label:
        style = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        break;
      case screen::ControlKind::Edit:
        system_class = L"EDIT";
        style = ES_AUTOHSCROLL | WS_TABSTOP;
        ex_style = WS_EX_CLIENTEDGE;
        break;
      case screen::ControlKind::Memo:
        system_class = L"EDIT";
        style = ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP;
        ex_style = WS_EX_CLIENTEDGE;
        break;
      case screen::ControlKind::Button:
        system_class = L"BUTTON";
        style = BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case screen::ControlKind::Group:
        system_class = L"BUTTON";
        style = BS_GROUPBOX;
        break;
      case screen::ControlKind::Picture:
      case screen::ControlKind::ResultLine:
        style = SS_OWNERDRAW;
        break;
    }
    item.control.Create(hwnd(), system_class, text, style, ex_style, 0);
  };
  // Tab order is the order of creation: first what takes no focus, then the
  // rest in the table's tab order (inside a group box at the group's place).
  for (auto& item : items_) {
    if (item->design->tab < 0 || item->design->kind == screen::ControlKind::Group) make(*item);
  }
  for (const Id id : screen::TabOrderIds()) {
    Item& item = ItemNamed(id);
    if (item.control.hwnd() == nullptr) make(item);
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    Item& item = *items_[i];
    SetWindowLongPtrW(item.control.hwnd(), GWLP_ID,
                      static_cast<LONG_PTR>(kFirstControlId + static_cast<int>(i)));
    // A group box lies under its controls, or it would paint over them.
    if (item.design->kind == screen::ControlKind::Group) {
      SetWindowPos(item.control.hwnd(), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (item.design->kind == screen::ControlKind::Memo) {
      SetWindowSubclass(item.control.hwnd(), &TabMovesOn, 0, 0);
    }
  }
  for (const Id id : {Id::Edt_IP, Id::Edt_Port, Id::txtAmount, Id::Edt_LogPath}) {
    // A long folder shows its beginning.
    SendMessageW(ItemNamed(id).control.hwnd(), EM_SETSEL, 0, 0);
  }
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ == nullptr) throw std::runtime_error("CreateWindowExW failed for the tooltip");
  // Tips of more than one line (the log folder's) break at their "\n".
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 32767);
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
  const HDC dc = GetDC(hwnd());
  HFONT font = fonts_->regular();
  for (int pixels = screen::kFontPixels; pixels >= screen::kFontPixels / 2; --pixels) {
    font = fonts_->Sized(pixels);
    const HGDIOBJ old = SelectObject(dc, font);
    // Measured the way the static control draws it (DrawTextW), not by the
    // glyphs' advance alone: the two differ, and the narrower one clips the
    // caption's last character.
    RECT ink{0, 0, 0, 0};
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &ink,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_LEFT);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    r.right = r.left + (ink.right - ink.left);
    r.bottom = r.top + metrics.tmHeight;
    if (r.right <= field_left - 2) break;
  }
  // The box reaches to 2 pixels before the field, whatever the caption measured,
  // so that no rounding of the drawn text against the measured one clips it.
  r.right = std::max<LONG>(r.right, field_left - 2);
  ReleaseDC(hwnd(), dc);
  return {r, font};
}

void MainWindow::ApplyDpi(int dpi) {
  dpi_ = dpi;
  auto fonts = std::make_unique<Fonts>(dpi);
  fonts_.swap(fonts);  // the old fonts go once no control uses them
  for (auto& item : items_) {
    if (item->design->kind == screen::ControlKind::Label) {
      const auto [where, font] = FitLabel(*item->design);
      item->control.SetFont(font);
      item->control.MoveTo(where);
      continue;
    }
    item->control.SetFont(
        item->design->kind == screen::ControlKind::ResultLine ? fonts_->bold() : fonts_->regular());
    item->control.MoveTo(DeviceRect(*item->design));
  }
  const screen::ControlDesign& image = screen::FindControl(Id::Image1);
  logo_.Render(screen::Scaled(image.rect.width, dpi), GetSysColor(COLOR_BTNFACE));
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
  SetFocus(ItemNamed(Id::Edt_IP).control.hwnd());
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
  for (const auto& item : items_) {
    if (item->design->name == name) return &item->control;
  }
  return nullptr;
}

// The items are in the layout table's order, which is the ids' order.
MainWindow::Item& MainWindow::ItemNamed(screen::ControlId id) {
  return *items_[static_cast<std::size_t>(id)];
}

const MainWindow::Item& MainWindow::ItemNamed(screen::ControlId id) const {
  return *items_[static_cast<std::size_t>(id)];
}

MainWindow::Item* MainWindow::ItemOf(HWND control) {
  for (auto& item : items_) {
    if (item->control.hwnd() == control) return item.get();
  }
  return nullptr;
}

bool MainWindow::IsMarkedPrevious(HWND control) const {
  const Item* item = const_cast<MainWindow*>(this)->ItemOf(control);
  return item != nullptr && item->previous;
}

void MainWindow::SetInputText(screen::Input input, std::string_view text) {
  const Control& control = ItemNamed(screen::InputControl(input)).control;
  control.SetText(text);
  SendMessageW(control.hwnd(), EM_SETSEL, 0, 0);
}

std::string MainWindow::InputText(screen::Input input) const {
  return ItemNamed(screen::InputControl(input)).control.Text();
}

std::string MainWindow::FieldText(screen::Field field) const {
  return ItemNamed(screen::FieldControl(field).id).control.Text();
}

std::string MainWindow::RawText() const { return ItemNamed(Id::Mem_RawResponse).control.Text(); }

void MainWindow::SetFieldText(screen::Field field, std::string_view text) {
  ItemNamed(screen::FieldControl(field).id).control.SetText(text);
}

void MainWindow::SetRawText(std::string_view text) {
  ItemNamed(Id::Mem_RawResponse).control.SetText(text);
}

void MainWindow::SetRawCaption(std::string_view caption) {
  ItemNamed(Id::Grp_RawResponse).control.SetText(caption);
}

void MainWindow::SetFieldPrevious(screen::Field field, bool previous) {
  MarkPrevious(ItemNamed(screen::FieldControl(field).id), previous);
}

void MainWindow::SetRawPrevious(bool previous) {
  MarkPrevious(ItemNamed(Id::Mem_RawResponse), previous);
}

// Greyed through WM_CTLCOLOREDIT, with a tooltip saying why.
void MainWindow::MarkPrevious(Item& item, bool previous) {
  if (item.previous == previous) return;
  item.previous = previous;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS | TTF_RTLREADING;
  tool.hwnd = hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(item.control.hwnd());
  tool.lpszText = const_cast<wchar_t*>(PreviousTip().c_str());
  SendMessageW(tooltip_, previous ? TTM_ADDTOOLW : TTM_DELTOOLW, 0,
               reinterpret_cast<LPARAM>(&tool));
  InvalidateRect(item.control.hwnd(), nullptr, TRUE);
}

void MainWindow::SetResultLine(std::string_view text, screen::Tone tone) {
  result_text_ = Wide(text);
  result_tone_ = tone;
  // The window text keeps what was given, so that it can be read back.
  const Control& line = ItemNamed(Id::Lbl_ResponseMsg).control;
  SetWindowTextW(line.hwnd(), result_text_.c_str());
  InvalidateRect(line.hwnd(), nullptr, TRUE);
}

void MainWindow::SetBusy(bool busy) {
  Item& pay = ItemNamed(Id::Btn_Payment);
  pay.control.SetText(busy ? screen::kCancelCaption : screen::kPayCaption);
  const HWND focus = GetFocus();
  for (const Id id : {Id::Btn_Clear, Id::Edt_IP, Id::Edt_Port, Id::txtAmount, Id::Edt_LogPath}) {
    const Control& control = ItemNamed(id).control;
    // A disabled control cannot keep the focus; the button that now cancels takes it.
    if (busy && focus == control.hwnd()) SetFocus(pay.control.hwnd());
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
  tool.uId = reinterpret_cast<UINT_PTR>(ItemNamed(Id::Edt_LogPath).control.hwnd());
  tool.lpszText = log_folder_tip_.data();
  SendMessageW(tooltip_, added ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
               reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::Post(std::function<void()> call) {
  {
    std::lock_guard lock(posted_mutex_);
    posted_.push_back(std::move(call));
  }
  PostMessageW(hwnd(), kRunPostedMessage, 0, 0);
}

void MainWindow::RunPosted() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(posted_mutex_);
    calls.swap(posted_);
  }
  for (auto& call : calls) call();
}

void MainWindow::DrawResultLine(const DRAWITEMSTRUCT& draw) const {
  const HDC dc = draw.hDC;
  const RECT& box = draw.rcItem;
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  std::wstring text;
  for (const wchar_t c : result_text_) {
    if (!IsIsolateMark(c)) text.push_back(c);
  }
  if (text.empty()) return;
  const std::optional<screen::Rgb> tone = screen::ToneColour(result_tone_);
  SetTextColor(dc, tone ? RGB(tone->r, tone->g, tone->b) : GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, TRANSPARENT);
  const HGDIOBJ old = SelectObject(dc, fonts_->bold());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  // Centred by the system on the shaped text, in the line's reading order.
  const bool rtl = ReadsRightToLeft(text);
  SetTextAlign(dc, TA_CENTER | TA_TOP | (rtl ? TA_RTLREADING : 0));
  const int x = (box.left + box.right) / 2;
  const int y = box.top + (box.bottom - box.top - metrics.tmHeight) / 2;
  ExtTextOutW(dc, x, y, ETO_CLIPPED | (rtl ? ETO_RTLREADING : 0), &box, text.c_str(),
              static_cast<UINT>(text.size()), nullptr);
  SelectObject(dc, old);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      if (guided_panel_ && guided_panel_->Command(wparam)) return 0;
      if (screen_ == nullptr) break;
      const int index = LOWORD(wparam) - kFirstControlId;
      if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) break;
      const Id id = items_[static_cast<std::size_t>(index)]->design->id;
      if (HIWORD(wparam) == EN_CHANGE && id == Id::Edt_LogPath) {
        screen_->LogFolderEdited();
        return 0;
      }
      if (HIWORD(wparam) != BN_CLICKED) break;
      if (id == Id::Btn_Payment) screen_->PressPayment();
      if (id == Id::Btn_Clear) screen_->Clear();
      return 0;
    }
    case WM_CTLCOLOREDIT: {
      const auto dc = reinterpret_cast<HDC>(wparam);
      if (IsMarkedPrevious(reinterpret_cast<HWND>(lparam))) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
      if (guided_panel_) {
        if (auto brush = guided_panel_->ColourStatic(reinterpret_cast<HDC>(wparam),
                                                     reinterpret_cast<HWND>(lparam))) {
          return *brush;
        }
      }
      break;
    case WM_DRAWITEM: {
      const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      const Item* item = const_cast<MainWindow*>(this)->ItemOf(draw.hwndItem);
      if (item == nullptr) break;
      if (item->design->kind == screen::ControlKind::ResultLine) DrawResultLine(draw);
      if (item->design->kind == screen::ControlKind::Picture) {
        logo_.Draw(draw.hDC, draw.rcItem.left, draw.rcItem.top);
      }
      return TRUE;
    }
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
        SetFocus(ItemNamed(Id::Edt_IP).control.hwnd());
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
    case WM_DESTROY:
      KillTimer(hwnd(), kTickTimer);
      if (options_.quit_when_closed) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

}  // namespace pcpos::win32
