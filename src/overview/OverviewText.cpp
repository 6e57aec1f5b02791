#include "overview/OverviewText.h"

#include <cstdio>
#include <tuple>

#include "core/Cp1251.h"
#include "core/Formats.h"

namespace overview {

namespace {

std::time_t timeOf(const ReportHour& h) {
  std::tm t{};
  t.tm_year = h.year - 1900;
  t.tm_mon = h.month - 1;
  t.tm_mday = h.day;
  t.tm_hour = h.hour;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

auto tied(const fsys::CalendarTime& t) {
  return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b);
}

std::string joined(const std::vector<std::string>& parts, const char* sep) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : sep) + p;
  return out;
}

std::string gasText(const ObjectRow& row) {
  switch (row.gas) {
    case Gas::Unknown:
      return {};
    case Gas::Values:
      return gas::showValue(row.values.density) + " / " + gas::showValue(row.values.co2) + " / " +
             gas::showValue(row.values.n2) + " / " + gas::showValue(row.values.pressure);
    case Gas::NoFile:
      return cp1251::text("Нет данных");
    case Gas::Checksum:
      return cp1251::text("Несовпадение КС  данных в файле");
    case Gas::Format:
      return cp1251::text("Содержимое файла не соответствует формату данных");
    case Gas::ReadFailed:
      return cp1251::text("Неудачная попытка чтения данных из файла");
  }
  return {};
}

}  // namespace

Marks marksOf(const ObjectRow& row, int staleHours, std::time_t now, const fsys::CalendarTime* seen) {
  Marks m;
  if (row.reportsListed && !row.lines.empty()) {
    m.stale = !row.newestHourly ||
              std::difftime(now, timeOf(*row.newestHourly)) > static_cast<double>(staleHours) * 3600.0;
  }
  m.newAlarm = row.alarm && seen && tied(*seen) < tied(*row.alarm);
  return m;
}

std::string columnTitle(Column c) {
  static const char* const titles[kColumns] = {"Отметка",
                                               "Соединение",
                                               "Объект",
                                               "Состояние",
                                               "Сообщения",
                                               "Возраст часового",
                                               "Плотность / CO2 / N2 / Ратм",
                                               "Нитка",
                                               "Часовой",
                                               "Суточный краткий",
                                               "Суточный коммерческий",
                                               "Месячный краткий",
                                               "Месячный коммерческий"};
  return cp1251::text(titles[static_cast<int>(c)]);
}

std::string failureText(Failure f, const std::string& detail) {
  switch (f) {
    case Failure::None:
      return {};
    case Failure::NameNotFound:
      return cp1251::text("Имя сервера не найдено");
    case Failure::Unreachable:
      return cp1251::text("Сервер недоступен");
    case Failure::LoginRefused:
      return cp1251::text("Вход отклонен: неверное имя пользователя или пароль");
    case Failure::TimedOut:
      return cp1251::text("Сервер не отвечает: время ожидания истекло");
    case Failure::TlsUntrusted:
      return cp1251::text("Ключ сервера не подтвержден: соединитесь один раз из списка соединений");
    case Failure::TlsFailed:
      return detail.empty() ? cp1251::text("Не удалось установить защищенное соединение") : detail;
    case Failure::TlsDemanded:
      return cp1251::text(
          "Сервер принимает только защищенные соединения: выберите TLS в параметрах соединения");
    case Failure::NoBase:
      return cp1251::text("Не удалось войти в основной каталог");
    case Failure::NoObjects:
      return cp1251::text("Не найдены каталоги объектов");
    case Failure::Lost:
      return cp1251::text("Связь с сервером прервана");
    case Failure::BadName:
      return cp1251::text("Имя объекта не может быть именем папки: объект не проверен");
  }
  return {};
}

std::string ageText(const ReportHour& newest, std::time_t now) {
  const double seconds = std::difftime(now, timeOf(newest));
  const long minutes = seconds > 0 ? static_cast<long>(seconds / 60) : 0;
  char buf[48];
  if (minutes < 48 * 60)
    std::snprintf(buf, sizeof buf, "%ld \xf7 %02ld \xec\xe8\xed", minutes / 60, minutes % 60);  // ч, мин
  else
    std::snprintf(buf, sizeof buf, "%ld \xf1\xf3\xf2 %ld \xf7", minutes / 1440, minutes / 60 % 24);  // сут, ч
  return buf;
}

ShownRow showRow(const std::string& connection, const ObjectRow& row, Progress progress, const Marks& marks,
                 std::time_t now) {
  ShownRow s;
  s.marks = marks;
  s.failed = row.failure != Failure::None;
  auto cell = [&](Column c) -> std::string& { return s.cells[static_cast<size_t>(c)]; };
  std::vector<std::string> markTexts;
  if (marks.newAlarm) markTexts.push_back(cp1251::text("!! Новые сообщения"));
  if (marks.stale) markTexts.push_back(cp1251::text("!! Нет свежих отчетов"));
  if (s.failed) markTexts.push_back(cp1251::text("!! Не проверен"));
  cell(Column::Mark) = joined(markTexts, "\n");
  cell(Column::Connection) = connection;
  cell(Column::Object) = row.object;
  if (row.alarm)
    cell(Column::Alarm) = formats::listedTime(*row.alarm);
  else if (row.listed && !row.object.empty())
    cell(Column::Alarm) = cp1251::text("Нет сообщений");
  std::vector<std::string> lines;
  std::array<std::vector<std::string>, kReportKindCount> kinds;
  for (const auto& l : row.lines) {
    lines.push_back(l.line);
    for (size_t k = 0; k < kinds.size(); ++k) {
      if (row.reportsListed)
        kinds[k].push_back(l.newest[k].empty() ? cp1251::text("нет") : trimmed(l.newest[k]));
    }
  }
  if (row.listed && row.lines.empty()) lines.push_back(cp1251::text("Нет ниток"));
  cell(Column::Lines) = joined(lines, "\n");
  for (size_t k = 0; k < kinds.size(); ++k)
    s.cells[static_cast<size_t>(Column::Hourly) + k] = joined(kinds[k], "\n");
  if (row.newestHourly) cell(Column::Age) = ageText(*row.newestHourly, now);
  cell(Column::Gas) = gasText(row);
  if (s.failed)
    cell(Column::State) = failureText(row.failure, row.detail);
  else
    cell(Column::State) = cp1251::text(progress == Progress::Done      ? "Проверен"
                                       : progress == Progress::Stopped ? "Проверка остановлена"
                                                                       : "Проверяется");
  return s;
}

std::string printedOverview(const std::vector<ShownRow>& rows, int staleHours, std::time_t now) {
  std::string out = cp1251::text("Обзор станций");
  if (const auto t = fsys::localTime(now)) out += "  " + formats::listedTime(*t);
  out +=
      "\n" + cp1251::text("Отчеты старше ") + std::to_string(staleHours) + cp1251::text(" ч отмечены") + "\n";
  const auto cellOf = [](const ShownRow& r, Column c) { return r.cells[static_cast<size_t>(c)]; };
  const auto split = [](const std::string& s) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = s.find('\n', from)) != std::string::npos; from = at + 1)
      parts.push_back(s.substr(from, at - from));
    if (from < s.size()) parts.push_back(s.substr(from));
    return parts;
  };
  for (const auto& r : rows) {
    out += "\n" + cellOf(r, Column::Connection) + " / " + cellOf(r, Column::Object);
    for (const auto& m : split(cellOf(r, Column::Mark))) out += "   " + m;
    out += "\n   " + columnTitle(Column::State) + ": " + cellOf(r, Column::State);
    if (!cellOf(r, Column::Alarm).empty())
      out += "\n   " + columnTitle(Column::Alarm) + ": " + cellOf(r, Column::Alarm);
    if (!cellOf(r, Column::Gas).empty())
      out += "\n   " + columnTitle(Column::Gas) + ": " + cellOf(r, Column::Gas);
    if (!cellOf(r, Column::Age).empty())
      out += "\n   " + columnTitle(Column::Age) + ": " + cellOf(r, Column::Age);
    const auto lines = split(cellOf(r, Column::Lines));
    std::array<std::vector<std::string>, kReportKindCount> kinds;
    for (size_t k = 0; k < kinds.size(); ++k)
      kinds[k] = split(r.cells[static_cast<size_t>(Column::Hourly) + k]);
    for (size_t l = 0; l < lines.size(); ++l) {
      out += "\n   " + lines[l];
      for (size_t k = 0; k < kinds.size(); ++k) {
        if (l < kinds[k].size()) out += "  " + std::string(kReportKindCodes[k]) + " " + kinds[k][l];
      }
    }
    out += "\n";
  }
  return out;
}

}  // namespace overview
