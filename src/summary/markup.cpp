#include "summary/markup.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace qnvtab {

std::string markupEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

void appendArguments(std::string& out, const char* format, va_list arguments) {
  char text[512];
  const int size = std::vsnprintf(text, sizeof text, format, arguments);
  if (size > 0) out.append(text, std::min<size_t>(static_cast<size_t>(size), sizeof text - 1));
}

}  // namespace

void appendFormatted(std::string& out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  appendArguments(out, format, arguments);
  va_end(arguments);
}

std::string formatted(const char* format, ...) {
  std::string out;
  va_list arguments;
  va_start(arguments, format);
  appendArguments(out, format, arguments);
  va_end(arguments);
  return out;
}

void appendTableHead(std::string& out, const std::vector<std::string>& names) {
  out += "<table><tr>";
  for (const std::string& name : names) out += "<th>" + markupEscaped(name) + "</th>";
  out += "</tr>";
}

void appendTableRow(std::string& out, const std::vector<std::string>& cells) {
  out += "<tr>";
  for (size_t i = 0; i < cells.size(); ++i) {
    out += (i == 0 ? "<td>" : "<td class=\"n\">") + markupEscaped(cells[i]) + "</td>";
  }
  out += "</tr>";
}

}  // namespace qnvtab
