// The window's own texts that are not in the layout table, and the shell's rules
// for the application title and its error boxes. UTF-8 throughout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "payment/transaction.h"

namespace pcpos::screen {

// The window's caption; with a simulated reader a short note after it says so,
// so that nobody takes a demo payment for a real one, short enough that the
// whole caption stays readable beside the close box at 96 DPI.
std::string WindowCaption(bool simulated_reader = false);

inline constexpr std::string_view kPayCaption = "ارسال مبلغ به کارت خوان";
inline constexpr std::string_view kCancelCaption = "لغو";
inline constexpr std::string_view kClearCaption = "پاک سازی نتایج";
inline constexpr std::string_view kPreviousTip = "این مقدار از پرداخت قبلی است";
// Shown in the raw pane above the error or the answer when the request went out
// but no readable answer came back.
inline constexpr std::string_view kOutcomeUnknownText =
    "نتیجه این پرداخت معلوم نیست؛ پیش از تلاش دوباره، نتیجه را روی کارت خوان بررسی کنید.";

// "در انتظار پاسخ کارت خوان… ۵ ثانیه گذشته، ۱۱۵ ثانیه مانده", in Persian digits.
std::string WaitingText(std::int64_t waited_s, std::int64_t left_s);
// The same while the connection is not made yet, counting down the connect limit:
// "در حال اتصال به کارت خوان… ۵ ثانیه گذشته، ۵ ثانیه مانده".
std::string ConnectingText(std::int64_t waited_s, std::int64_t left_s);

// "Raw Response", or with the reader's own time (request out to answer read):
// "Raw Response (reader answered in 2.31 s)", in milliseconds below a second.
std::string RawResponseCaption(const PaymentReport* report = nullptr);

// The first line of a result text: the line is one text line high.
std::string ResultLineDisplayText(std::string_view text);

// Which way a text reads. The windows apply it each their own way; the texts
// themselves carry no direction marks.
enum class TextDirection { LeftToRight, RightToLeft };
// That of the text's first strong character (a Latin, Greek or Cyrillic letter
// reads left to right; a Hebrew or Arabic-script letter, not its digits, right
// to left); right to left, the result line's own reading order, when it has none.
TextDirection DirectionOf(std::string_view text);

// The application title from the program file's path: the name after the last
// "\" or "/", cut at its first ".", first character as it is, the rest in lower case.
std::string TitleFromExecutable(std::string_view path);
// An error that escaped an event handler: "." added when the message is not
// empty and its last character's code is above that of ".".
std::string EventErrorText(std::string_view message);
inline constexpr std::string_view kStartupErrorCaption = "Application Error";
// "Exception %s in module %s at %p.\r\n%s%s\r\n" for an error during start-up.
std::string StartupErrorText(std::string_view kind, std::string_view module, std::uintptr_t address,
                             std::string_view message);

}  // namespace pcpos::screen
