#include "app/typed_number.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace vexa {

namespace {

// The text in plain ASCII: the region's digits, decimal separator, signs and exponent mark in
// their ASCII forms; every other character becomes a stop mark that no number continues into.
std::string asciiForm(const QString& text, const QLocale& locale) {
  QString t = text;
  const QString point = locale.decimalPoint();
  if (!point.isEmpty() && point != ".") t.replace(point, ".");
  const QString minus = locale.negativeSign();
  if (!minus.isEmpty() && minus != "-") t.replace(minus, "-");
  const QString plus = locale.positiveSign();
  if (!plus.isEmpty() && plus != "+") t.replace(plus, "+");
  const QString exponent = locale.exponential();
  if (!exponent.isEmpty() && exponent.compare("e", Qt::CaseInsensitive) != 0)
    t.replace(exponent, "e");
  std::string ascii;
  ascii.reserve(static_cast<size_t>(t.size()));
  for (const QChar c : t) {
    if (c.isSpace())
      ascii += ' ';
    else if (c.category() == QChar::Number_DecimalDigit)
      ascii += static_cast<char>('0' + c.digitValue());
    else if (c == u'\x2212')  // the typographic minus
      ascii += '-';
    else if (c.unicode() < 0x80 && QString(".+-eE").contains(c))
      ascii += static_cast<char>(c.unicode());
    else
      ascii += '?';
  }
  return ascii;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the number at the start of `s`: sign, digits with one point, exponent; 0 if none.
size_t numberLength(const std::string& s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && isDigit(s[j])) {
      while (j < s.size() && isDigit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

}  // namespace

TypedNumber ReadTypedNumber(const std::string& text, const QLocale& locale) {
  const std::string ascii = asciiForm(QString::fromStdString(text), locale);
  std::string compact;
  for (char c : ascii)
    if (c != ' ') compact += c;
  const size_t length = numberLength(compact);
  if (length == 0) return {};
  const char* begin = compact.data();
  if (*begin == '+') ++begin;
  double value = 0;
  const auto r = std::from_chars(begin, compact.data() + length, value);
  if (r.ec != std::errc() || !std::isfinite(value)) return {};

  const size_t first = ascii.find_first_not_of(' ');
  const size_t last = ascii.find_last_not_of(' ');
  const bool oneWord = ascii.substr(first, last - first + 1).find(' ') == std::string::npos;
  return {value, oneWord && length == compact.size()};
}

long HertzFromText(const std::string& text, const QLocale& locale) {
  const QString t = QString::fromStdString(text).trimmed();
  static const struct {
    const char* suffix;
    double factor;
  } kUnits[] = {{"kHz", 1e3}, {"MHz", 1e6}, {"Hz", 1}, {"k", 1e3}, {"K", 1e3}, {"M", 1e6}};
  QString digits = t;
  double factor = 1;
  for (const auto& u : kUnits) {
    if (t.endsWith(QLatin1String(u.suffix))) {
      digits = t.chopped(static_cast<qsizetype>(std::strlen(u.suffix)));
      factor = u.factor;
      break;
    }
  }
  const TypedNumber n = ReadTypedNumber(digits.toStdString(), locale);
  const double hz = n.leading * factor;
  if (!n.whole || !(hz >= 1 && hz <= 1e9)) return 0;
  return static_cast<long>(hz + 0.5);
}

}  // namespace vexa
