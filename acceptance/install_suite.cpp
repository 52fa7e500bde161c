// The installation check a technician runs at the shop. The amounts' last two
// digits are the simulated reader's endings (approve 00, cancel 01, wrong PIN
// 30, decline 51, no card 90, reset 60), so the same suite runs unattended
// against it; a real reader ignores them and the operator follows the prompts.
#include "acceptance/suite.h"

namespace pcpos::acceptance {
namespace {

SuiteCase Case(std::string id, std::string title, std::string prompt, std::string amount,
               std::vector<Outcome> outcomes, std::vector<std::string> codes, double max_s) {
  return SuiteCase{std::move(id), std::move(title), std::move(prompt), std::move(amount),
                   Expectation{std::move(outcomes), std::move(codes), max_s}};
}

}  // namespace

Suite InstallSuite() {
  Suite suite;
  suite.name = "بررسی نصب کارت‌خوان";
  // The Persian texts are kept as written: the formatter measures them in bytes.
  // clang-format off
  suite.cases = {
      Case("approve", "پرداخت موفق",
           "کارت را بکشید و رمز درست را وارد کنید؛ پرداخت باید تأیید شود.",
           "1000", {Outcome::Approved}, {"00"}, 90),
      Case("cancel", "لغو روی کارت‌خوان",
           "وقتی کارت‌خوان مبلغ را نشان داد، کارت نکشید و دکمه لغو "
           "کارت‌خوان را بزنید.",
           "1001", {Outcome::Declined}, {"01"}, 90),
      Case("wrong-pin", "رمز نادرست",
           "کارت را بکشید و رمزی نادرست وارد کنید.",
           "1030", {Outcome::Declined}, {"30", "55"}, 90),
      Case("decline", "رد تراکنش",
           "کارتی بکشید که بانک آن را رد می‌کند (برای نمونه با موجودی "
           "ناکافی) و رمز درست را وارد کنید.",
           "1051", {Outcome::Declined}, {}, 90),
      Case("no-card", "بدون کارت",
           "هیچ کارتی نکشید و به کارت‌خوان دست نزنید تا خودش از انتظار "
           "دست بکشد.",
           "1090", {Outcome::Declined}, {}, 120),
      Case("approve-twice-1", "دو پرداخت پشت سر هم (اول)",
           "کارت را بکشید و رمز درست را وارد کنید؛ پرداخت دوم بی‌درنگ "
           "پس از این می‌آید.",
           "2000", {Outcome::Approved}, {"00"}, 90),
      Case("approve-twice-2", "دو پرداخت پشت سر هم (دوم)",
           "دوباره کارت را بکشید و رمز درست را وارد کنید؛ این پرداخت "
           "شماره پیگیری و شماره مرجع تازه‌ای می‌گیرد.",
           "3000", {Outcome::Approved}, {"00"}, 90),
      Case("network-cut", "قطع شبکه پس از کشیدن کارت",
           "کارت را بکشید و رمز را وارد کنید، و پیش از آن‌که کارت‌خوان "
           "پاسخ دهد کابل شبکه آن را بکشید. نتیجه این پرداخت نامعلوم است: "
           "کابل را دوباره وصل کنید و آخرین تراکنش را روی خود کارت‌خوان "
           "ببینید تا بدانید پول برداشته شده یا نه.",
           "1060", {Outcome::Unknown}, {}, 130),
  };
  // clang-format on
  return suite;
}

}  // namespace pcpos::acceptance
