#include "console/banner.h"

#include "platform/cp866.h"

namespace qv {

namespace {

constexpr std::string_view kContactHeadingEn = "At detection of mistakes write Author E-Mail :";
constexpr std::string_view kContactHeadingRu =
    "В случае обнаружения ошибок пишите автору по E-Mail :"_oem;
// Both download headings are 39 wide, so the web addresses line up in column 40.
constexpr std::string_view kDownloadHeadingEn = "Last version is possible download with ";
constexpr std::string_view kDownloadHeadingRu = "Последнюю версию можно загрузить с :   "_oem;
constexpr std::string_view kMailIndent = "                              ";          // 30 blanks
constexpr std::string_view kWebIndent = "                                       ";  // 39 blanks

constexpr std::string_view kMailAddresses[3] = {
    "support@quorvane.example",
    "errors@quorvane.example",
    "quorvane-team@mail.example",
};
constexpr std::string_view kWebAddresses[3] = {
    "https://quorvane.example/",
    "https://www.quorvane.example/download/",
    "ftp://ftp.quorvane.example/pub/",
};

}  // namespace

std::string_view product_title(const Run& run) {
  return tr(run, "Quorvane file distributor ", "Распределитель файлов Кворвейн "_oem);
}

std::string_view version_text(const Run& run) {
  return tr(run, "1.11 version ( Win+ )", "1.11 веpсия ( Win+ )"_oem);
}

void hide_cursor(Run& run) {
  run.screen.set_cursor_visible(false);
}

void draw_banner(Run& run) {
  Screen& screen = run.screen;
  screen.begin_burst();
  screen.set_transcript(true);
  screen.full_window();
  screen.clear_window();
  hide_cursor(run);
  run.msg.set(3, kMailIndent);
  run.msg.set(2, tr(run, kContactHeadingEn, kContactHeadingRu));
  run.msg.set(4, tr(run, kDownloadHeadingEn, kDownloadHeadingRu));
  screen.write(product_title(run));
  screen.write(version_text(run));
  screen.write_line(".");
  screen.write_line();
  screen.write_line(run.msg.line[2]);
  screen.write_line();
  for (std::string_view mail : kMailAddresses) {
    screen.write(run.msg.line[3]);
    screen.write_line(mail);
  }
  screen.write_line();
  screen.write(run.msg.line[4]);
  screen.write_line(kWebAddresses[0]);
  screen.write(kWebIndent);
  screen.write_line(kWebAddresses[1]);
  screen.write(kWebIndent);
  screen.write_line(kWebAddresses[2]);
  screen.write_line();
  screen.end_burst();
}

}  // namespace qv
