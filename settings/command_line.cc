#include "settings/command_line.h"

#include <span>
#include <string>

#include "console/banner.h"
#include "console/messages.h"
#include "platform/cp866.h"
#include "script/text_utils.h"

namespace qv {

namespace {

constexpr int kExitHelp = 0;
constexpr int kExitDebug = 1;
constexpr int kExitUnknownArgument = 2;

// The 64 Cyrillic letters, in CP866, in the order of the translation table.
constexpr std::string_view kCyrillicOem =
    "ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮйцукенгшщзхъфывапролджэячсмитьбю"_oem;

// The same letters in Windows-1251, where А..я are the bytes 0xC0..0xFF.
std::string cyrillic_ansi() {
  std::string out;
  for (char c : kCyrillicOem) {
    char32_t u = cp866_to_unicode(static_cast<uint8_t>(c));
    out += static_cast<char>(u - 0x410 + 0xC0);
  }
  return out;
}

// An argument of the command line with its Cyrillic letters in CP866.
Text argument_oem(const std::string& argument) {
  static const std::string ansi = cyrillic_ansi();
  return translate_chars(Text(argument), ansi, kCyrillicOem);
}

bool is_english_help(const std::string& arg) {
  Text up = upper_case(Text(arg));
  return up.view() == "/HELP" || up.view() == "/H";
}

bool is_russian_help(const std::string& arg) {
  Text up = upper_case(argument_oem(arg));
  return up.view() == "/ПОМОЩЬ"_oem || up.view() == "/П"_oem;
}

bool is_debug(const std::string& arg) {
  Text up = upper_case(Text(arg));
  Text up_oem = upper_case(argument_oem(arg));
  return up.view() == "/DEBUG" || up.view() == "/D" || up_oem == "/ОТЛАДКА"_oem ||
         up_oem == "/О"_oem;
}

// Writes the three-line box with the word Help and the product title.
void write_help_box(Run& run, std::string_view help_cell) {
  set_colour(run, kLightGreen);
  run.screen.write_line(
      "╔═════════════════╤═══════════════════════════════════════════════════════════╗"_oem);
  Text title("       ");
  title += product_title(run);
  std::string right(title.view());
  right.resize(59, ' ');
  Text middle("║"_oem);
  middle += help_cell;
  middle += "│"_oem;
  middle += right;
  middle += "║"_oem;
  run.screen.write_line(middle);
  run.screen.write_line(
      "╚═════════════════╧═══════════════════════════════════════════════════════════╝"_oem);
}

// The common form of both help screens; ends the run with exit code 0.
Ending show_help(Run& run, std::string_view help_cell, std::string_view gap,
                 std::span<const std::string_view> lines, std::string_view closing) {
  write_help_box(run, help_cell);
  set_colour(run, kLightGrey);
  run.screen.write_line(gap);
  set_colour(run, kGreen);
  for (std::string_view line : lines) run.screen.write_line(line);
  set_colour(run, kLightGrey);
  run.screen.write_line();
  run.screen.write_line(closing);
  run.os.console.wait_key();
  return kExitHelp;
}

// A 64-bit value in exponent notation, right-aligned in 23 characters:
// sign or blank, one digit, ".", 14 digits, "E", exponent sign, 4 digits.
std::string exponent_text(int64_t n) {
  const bool negative = n < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  std::string digits = std::to_string(magnitude);
  int exponent = magnitude == 0 ? 0 : static_cast<int>(digits.size()) - 1;
  if (digits.size() > 15) {  // round to 15 significant digits
    bool round_up = digits[15] >= '5';
    digits.resize(15);
    for (int i = 14; round_up && i >= 0; --i) {
      round_up = digits[i] == '9';
      digits[i] = round_up ? '0' : static_cast<char>(digits[i] + 1);
    }
    if (round_up) {  // every digit was 9: the value grows to the next power of ten
      digits[0] = '1';
      ++exponent;
    }
  }
  digits.resize(15, '0');
  std::string exp = std::to_string(exponent);
  exp.insert(0, 4 - exp.size(), '0');
  return std::string(negative ? "-" : " ") + digits[0] + "." + digits.substr(1) + "E+" + exp;
}

}  // namespace

Ending help_switches(Run& run) {
  for (const std::string& arg : run.os.env.arguments()) {
    if (is_english_help(arg)) return help_screen_english(run);
    if (is_russian_help(arg)) return help_screen_russian(run);
  }
  return std::nullopt;
}

void help_hint(Run& run) {
  if (!run.os.env.arguments().empty()) return;
  run.screen.write_line(tr(run, "The Help: Use Switch /Debug for Debug",
                           "Помощь: используйте переключатель /Отладка для Отладки"_oem));
  run.screen.write_line(tr(run, "                    /Help for Display help information",
                           "                           /Помощь - для вывода помощи"_oem));
  run.screen.write_line(tr(run, "          /? - for Display help in the chosen language",
                           "             /? - для вывода помощи на выбранном языке"_oem));
  run.screen.write_line();
}

Ending other_switches(Run& run) {
  for (const std::string& arg : run.os.env.arguments()) {
    if (arg == "/?") {
      return run.settings.lang == 1 ? help_screen_russian(run) : help_screen_english(run);
    }
    if (is_debug(arg)) return debug_dump(run);
    run.screen.write_line(
        tr(run, "To the Unknown program parameter", "Неизвестный программе параметр"_oem));
    return kExitUnknownArgument;
  }
  return std::nullopt;
}

Ending help_screen_english(Run& run) {
  static constexpr std::string_view kLines[] = {
      "  The Program is intended for automation of routine operations on copying -",
      "               to carry of files in an automatic mode. ",
      "",
      " The Program is necessary, if takes place even 1 of the following items: ",
      "",
      "    1) When the files act during long time and should be are sent in the",
      "       shortest time (that at manual dispatch results to the large",
      "       expenses of human time and mistakes).",
      "    2) It is necessary to record actions.",
      "    3) Spelling of bat-files very difficult, because of complexity necessary",
      "       operations.",
      "    4) The user does not accept absence of processing of mistakes in bat-files",
      "       (for round-the-clock systems, sometimes it is required to continue work",
      "       despite of mistakes... Or it is necessary to check existence of a disk,",
      "       spaces on it...). ",
      "    5) For automatic creation of archives ",
      "       (for example: D:\\ARHIV\\INPUT\\<MONTH>_<YEAR>\\<DAY>\\<MIN>_<SEC>\\",
      "    +  Support several OS: Windows, DOS, OS/2... ",
  };
  return show_help(run, "      Help       ", "", kLines,
                   "           > Press any key for an exit from the program < ");
}

Ending help_screen_russian(Run& run) {
  static constexpr std::string_view kLines[] = {
      "  Программа предназначена для автоматизации рутинных операций по копированию -"_oem,
      "переносу файлов в автоматическом режиме."_oem,
      " ",
      "  Программа необходима, если имеет место хотя бы 1 из следующих пунктов:"_oem,
      " ",
      "   1) когда файлы поступают в течении длительного времени и должны быть"_oem,
      "      отосланы в кратчайшее время ( что при ручной рассылке приводит к"_oem,
      "      большим затратам человеческого времени и ошибкам )."_oem,
      "   2) необходимо протоколировать действия."_oem,
      "   3) написание бат-файлов очень громоздко из-за сложности необходимых"_oem,
      "      операций."_oem,
      "   4) пользователя не устраивает отсутствие обработки ошибок в бат-файлах"_oem,
      "      ( для круглосуточных систем, иногда требуется продолжать работу"_oem,
      "        несмотря на ошибки... или необходимо проверять существование диска,"_oem,
      "        пространства на нем...)."_oem,
      "   5) Для автоматического создания архивов"_oem,
      "      ( например: D:\\ARHIV\\INPUT\\<МЕСЯЦ>_<ГОД>\\<ДЕНЬ>\\<МИН>_<СЕК>\\ )."_oem,
      "   +  поддержка  нескольких ОС: Windows, DOS, OS/2..."_oem,
  };
  return show_help(run, "     Помощь      "_oem, " ", kLines,
                   "           >  Нажмите любую клавишу для выхода из программы  <"_oem);
}

namespace {

// One line of the dump: the label, then the value framed by "<" and ">".
void dump_line(Run& run, std::string_view label, std::string_view value) {
  run.screen.write(label);
  run.screen.write("<");
  run.screen.write(value);
  run.screen.write_line(">");
}

std::string flag_text(bool b) {
  return b ? "TRUE" : "FALSE";
}

void dump_settings(Run& run) {
  const Settings& s = run.settings;
  dump_line(run, "             Language       - ", s.language);
  dump_line(run, "             Lang           - ", std::to_string(s.lang));
  dump_line(run, "             Multy_Task     - ", flag_text(s.multy_task));
  dump_line(run, "             Log_Exist      - ", flag_text(s.log_exist));
  dump_line(run, "             Log_Type       - ", s.log_type);
  dump_line(run, "             Log_Name       - ", s.log_name);
  dump_line(run, "             Run_Batnik     - ", flag_text(s.run_batnik));
  dump_line(run, "             Name_Batnik    - ", s.name_batnik);
  dump_line(run, "             Analis_Sopr    - ", flag_text(s.analis_sopr));
  dump_line(run, "             Mask_Sopr      - ", s.mask_sopr);
  pause_ms(run, 10000);
  dump_line(run, "             Find_Uncheck   - ", flag_text(s.find_uncheck));
  dump_line(run, "             Exclude_Uncheck- ", s.exclude_uncheck);
  dump_line(run, "        Valid_Cycle_Full_Run- ", exponent_text(s.valid_cycle_full_run));
  dump_line(run, "           Code_Return_Cycle- ", std::to_string(s.code_return_cycle));
  dump_line(run, "            Number_Time_Work- ", exponent_text(s.number_time_work));
  dump_line(run, "            Code_Return_Time- ", std::to_string(s.code_return_time));
  dump_line(run, "              Delay_Interpr - ", std::to_string(s.delay_interpr));
  dump_line(run, "                 Delay_Copy - ", std::to_string(s.delay_copy));
  dump_line(run, "              Max_File_Size - ", exponent_text(s.max_file_size));
  dump_line(run, "        Max_OutPut_Dir_Size - ", exponent_text(s.max_output_dir_size));
  dump_line(run, "                Valid_Drive - ", flag_text(s.valid_drive));
  dump_line(run, "                Valid_Space - ", flag_text(s.valid_space));
  dump_line(run, "                Valid_Right - ", flag_text(s.valid_right));
  dump_line(run, "                Retry_Count - ", std::to_string(s.retry_count));
  dump_line(run, "             Valid_Continue - ", flag_text(s.valid_continue));
  dump_line(run, "               Min_File_Age - ", std::to_string(s.min_file_age));
}

// The program name (already CP866) and every argument, Cyrillic shown in CP866.
void dump_arguments(Run& run) {
  run.screen.write("ParamStr(0)= ");
  run.screen.write_line(run.os.env.executable_path());
  int n = 1;
  for (const std::string& arg : run.os.env.arguments()) {
    run.screen.write("ParamStr(");
    run.screen.write_number(n++);
    run.screen.write(")= ");
    run.screen.write_line(argument_oem(arg));
  }
}

}  // namespace

Ending debug_dump(Run& run) {
  pause_ms(run, 2700);
  dump_line(run, "Пpогpамма                   - "_oem, run.os.env.executable_path());
  dump_line(run, "Путь конфигуpации пpогpаммы - "_oem, program_dir(run));
  run.screen.write_line();
  dump_settings(run);
  run.screen.write_line("       < Выводим параметры...> "_oem);
  dump_arguments(run);
  run.screen.write_line("       < Нажмите любую клавишу для подолжения...> "_oem);
  run.os.console.wait_key();
  return kExitDebug;
}

}  // namespace qv
