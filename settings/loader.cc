#include "settings/loader.h"

#include "console/messages.h"
#include "platform/cp866.h"
#include "script/line_reader.h"
#include "script/text_utils.h"
#include "settings/macros.h"
#include "settings/settings_table.h"

namespace qv {

namespace {

constexpr int kExitQuote = 5;
constexpr int kExitFile = 6;
constexpr int kExitUnknown = 7;
constexpr int kExitBoolean = 8;
constexpr int kExitInteger = 9;
constexpr std::size_t kKeyMax = 39;
// Files in one INCLUDE chain, the settings file itself counted; a file that
// includes itself, directly or not, stops here instead of nesting without end.
constexpr int kMaxIncludeDepth = 16;

// The pieces of one settings line, after comment, blanks and quotes.
struct Statement {
  Text key;
  Text value;
};

// Writes the three-line layout shared by the word-count, quote and nesting
// reports: "File <path>", the reason, "-><raw line><-". On the screen it
// starts where the cursor stands; in the transcript on a line of its own.
void write_line_report(Run& run, const Text& path, const Text& raw_line, std::string_view reason) {
  start_transcript_line(run);
  set_colour(run, kRed);
  run.screen.write(tr(run, "File ", "Файл "_oem));
  run.screen.write_line(path);
  run.screen.write_line(reason);
  run.screen.write("->");
  run.screen.write(raw_line);
  run.screen.write_line("<-");
  pause_after_report(run);
}

void report_include_too_deep(Run& run, const Text& path, const Text& raw_line,
                             int32_t line_number) {
  Text reason(tr(run, "INCLUDE nested deeper than 16 files in line ",
                 "INCLUDE вложены глубже 16 файлов в строке "_oem));
  reason += std::to_string(line_number);
  reason.append(".");
  write_line_report(run, path, raw_line, reason);
}

// Writes the assignment layout from the five message lines, in red:
// line 1, key, line 2, value, line 3, line number, line 4; line 5, path.
void write_assignment_report(Run& run, const Text& key, const Text& value, const Text& path,
                             int32_t line_number) {
  set_colour(run, kRed);
  run.screen.write(run.msg.line[1]);
  run.screen.write(key);
  run.screen.write(run.msg.line[2]);
  run.screen.write(value);
  run.screen.write(run.msg.line[3]);
  run.screen.write_number(line_number);
  run.screen.write_line(run.msg.line[4]);
  run.screen.write(run.msg.line[5]);
  run.screen.write_line(path);
  pause_after_report(run);
}

void report_unknown_variable(Run& run, const Statement& st, const Text& path, int32_t line_number) {
  run.msg.set(1, tr(run, "Unknown variable - (", "Hеизвестная пеpеменная - ("_oem));
  run.msg.set(2, tr(run, ") with value <", ") со значением <"_oem));
  run.msg.set(3, tr(run, "> in ", "> в "_oem));
  run.msg.set(4, tr(run, " to line.", " стpоке."_oem));
  run.msg.set(5, tr(run, "Correct a file of a configuration ", "Испpавьте файл конфигуpации "_oem));
  write_assignment_report(run, st.key, st.value, path, line_number);
}

// Turns the outcome of one assignment into its report and exit code.
Ending act_on_outcome(Run& run, SettingOutcome outcome, const Statement& st, const Text& path,
                      int32_t line_number) {
  switch (outcome) {
    case SettingOutcome::kAccepted:
      return std::nullopt;
    case SettingOutcome::kUnknownVariable:
      report_unknown_variable(run, st, path, line_number);
      return kExitUnknown;
    case SettingOutcome::kBadBoolean:
      run.msg.set(1, tr(run, "Boolean", "Двоичная"_oem));
      report_bad_value(run, st.key, st.value, path, line_number);
      return kExitBoolean;
    case SettingOutcome::kBadInteger:
      run.msg.set(1, tr(run, "Integer", "Целая"_oem));
      report_bad_value(run, st.key, st.value, path, line_number);
      return kExitInteger;
    case SettingOutcome::kBadText:  // a text no value of its kind may be
      run.msg.set(1, tr(run, "String", "Строковая"_oem));
      report_bad_value(run, st.key, st.value, path, line_number);
      return kExitInteger;
  }
  return std::nullopt;
}

// Cuts one raw line into key and value; reports and returns the exit code
// when the line is not two words or has an unclosed quote. A blank or
// all-comment line gives an empty key.
Ending cut_statement(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                     Statement& st) {
  st = Statement{};
  Text line = trim_set(kWordDelimiters, 2, strip_comment(raw_line));
  if (line.empty()) return std::nullopt;
  bool quote_error = false;
  int32_t count = word_count(line, kWordDelimiters, quote_error);
  if (count != 2) {
    report_word_count(run, path, raw_line, line_number, count);
    return kExitFile;
  }
  if (quote_error) {
    report_unbalanced_quote(run, path, raw_line, line_number);
    return kExitQuote;
  }
  Text key = upper_case(extract_word(1, line, kWordDelimiters, quote_error));
  key.truncate(kKeyMax);
  st.key = key;
  st.value = extract_word(2, line, kWordDelimiters, quote_error);
  return std::nullopt;
}

Ending load_file(Run& run, const Text& path, int depth);

// Carries out one statement of a settings file.
Ending run_statement(Run& run, const Statement& st, const Text& path, const Text& raw_line,
                     int32_t line_number, int depth) {
  if (st.key.view() == "INCLUDE") {
    if (depth >= kMaxIncludeDepth) {
      report_include_too_deep(run, path, raw_line, line_number);
      return kExitFile;
    }
    return load_file(run, expand_macros(run, st.value), depth + 1);
  }
  return act_on_outcome(run, apply_setting(run.settings, st.key, st.value), st, path, line_number);
}

Ending load_file(Run& run, const Text& path, int depth) {
  Error err = Error::kNone;
  std::unique_ptr<LineReader> reader =
      LineReader::open(run.os.fs, path, err, run.os.env.utf8_text_files());
  if (!reader) {
    report_missing_file(run, tr(run, "configuration", "конфигурации"_oem), path);
    return kExitFile;
  }
  int32_t line_number = 0;
  Text raw_line;
  Statement st;
  while (reader->next(raw_line)) {
    ++line_number;
    Ending end = cut_statement(run, path, raw_line, line_number, st);
    if (!end && !st.key.empty()) end = run_statement(run, st, path, raw_line, line_number, depth);
    if (end) return end;
  }
  if (reader->failed()) {  // the rest of the file was never read: nothing may go on from here
    report_read_error(run, path);
    return kExitFile;
  }
  return std::nullopt;
}

}  // namespace

void settings_path(Run& run) {
  run.settings_path = join_path(run.program_dir, "Quorvane.cfg", native_separator(run));
}

Ending load_settings(Run& run, const Text& path) {
  return load_file(run, path, 1);
}

void report_missing_file(Run& run, std::string_view kind_words, const Text& path) {
  Text line(tr(run, "The file of a ", "Файл "_oem));
  line += kind_words;
  line += tr(run, " is not found ", " не найден "_oem);
  run.msg.set(1, line);
  run.screen.text_colour(kYellow);
  run.screen.text_background(kRed);
  run.screen.write(run.msg.line[1]);
  run.screen.write_line(path);
  pause_after_report(run);
  // Back to the colours the console had at start.
  set_colour(run, kLightGrey);
}

void report_read_error(Run& run, const Text& path) {
  run.msg.set(1, tr(run, "Can not read file : ", "Не могу прочитать файл : "_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1]);
  run.screen.write(path);
  run.screen.write(" !!!");
  pause_after_report(run);
}

void report_word_count(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                       int32_t count) {
  Text reason(tr(run, "incorrect amount of words (", "неверное количество слов ("_oem));
  reason += std::to_string(count);
  reason += tr(run, ") in line ", ") в строке "_oem);
  reason += std::to_string(line_number);
  reason.append(".");
  write_line_report(run, path, raw_line, reason);
}

void report_unbalanced_quote(Run& run, const Text& path, const Text& raw_line,
                             int32_t line_number) {
  Text reason(tr(run, "incorrect syntax (\") in a line ", "неверный синтаксис (\") в строке "_oem));
  reason += std::to_string(line_number);
  reason.append(" :");
  write_line_report(run, path, raw_line, reason);
}

void report_bad_value(Run& run, const Text& key, const Text& value, const Text& path,
                      int32_t line_number) {
  Text first = run.msg.line[1];
  first += tr(run, " variable - (", " пеpеменная - ("_oem);
  run.msg.set(1, first);
  run.msg.set(2, tr(run, ") with incorrect value <", ") с неверным значением <"_oem));
  run.msg.set(3, tr(run, "> in ", "> в "_oem));
  run.msg.set(4, tr(run, " to line.", " стpоке."_oem));
  run.msg.set(5, tr(run, "Correct a file of a configuration ", "Испpавьте файл конфигуpации "_oem));
  write_assignment_report(run, key, value, path, line_number);
}

void report_script_warning(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                           std::string_view message1, std::string_view message2) {
  set_colour(run, kYellow);
  start_message_line(run);
  run.screen.write(tr(run, "File ", "Файл "_oem));
  run.screen.write(path);
  run.screen.write(tr(run, " in line ", " в строке "_oem));
  run.screen.write_number(line_number);
  run.screen.write(".");
  start_message_line(run);
  run.screen.write("->");
  run.screen.write(raw_line);
  run.screen.write("<-");
  start_message_line(run);
  run.screen.write(message1);
  if (!message2.empty()) {
    start_message_line(run);
    run.screen.write(message2);
  }
  run.screen.text_background(kBlack);
  pause_after_report(run);
}

void pause_after_report(Run& run) {
  run.screen.text_colour(kLightGrey);
  pause_ms(run, 3000);
}

}  // namespace qv
