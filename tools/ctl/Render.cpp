#include "ctl/Render.hpp"

#include <algorithm>
#include <vector>

namespace velmorin::ctl {
namespace {

std::string StringOf(const JsonValue* value) {
  if (value == nullptr) return {};
  switch (value->kind()) {
    case JsonValue::Kind::String: return value->AsString();
    case JsonValue::Kind::Null: return {};
    default: return WriteJson(*value);
  }
}

// A field or a cell as the terminal may see it: on one line, with nothing it would obey.
std::string CellOf(const JsonValue* value) { return TerminalText(StringOf(value), false); }

void Pad(std::ostream& out, const std::string& text, std::size_t width) {
  out << text;
  for (std::size_t i = DisplayWidth(text); i < width; ++i) out << ' ';
}

void RenderFields(const JsonValue& fields, std::ostream& out) {
  std::size_t width = 0;
  for (const auto& [name, value] : fields.Members()) width = std::max(width, DisplayWidth(TerminalText(name, false)));
  for (const auto& [name, value] : fields.Members()) {
    Pad(out, TerminalText(name, false) + ":", width + 1);
    out << ' ' << CellOf(&value) << '\n';
  }
}

void RenderTable(const JsonValue& table, std::ostream& out) {
  const JsonValue* columns = table.Find("columns");
  const JsonValue* rows = table.Find("rows");
  if (columns == nullptr || columns->kind() != JsonValue::Kind::Array) return;
  std::vector<std::vector<std::string>> cells;
  cells.emplace_back();
  for (const JsonValue& column : columns->Items()) cells.back().push_back(CellOf(&column));
  if (rows != nullptr) {
    for (const JsonValue& row : rows->Items()) {
      cells.emplace_back();
      for (const JsonValue& cell : row.Items()) cells.back().push_back(CellOf(&cell));
    }
  }
  std::vector<std::size_t> widths;
  for (const auto& row : cells) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  for (const auto& row : cells) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i + 1 == row.size()) {
        out << row[i];
      } else {
        Pad(out, row[i], widths[i] + 2);
      }
    }
    out << '\n';
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "\x1b[38;2;R;G;Bm" for "#RRGGBB"; empty for anything else.
std::string AnsiColour(const std::string& hex) {
  if (hex.size() != 7 || hex[0] != '#') return {};
  std::string out = "\x1b[38;2";
  for (int i = 0; i < 3; ++i) {
    const int high = HexDigit(hex[1 + 2 * i]);
    const int low = HexDigit(hex[2 + 2 * i]);
    if (high < 0 || low < 0) return {};
    out += ';' + std::to_string(high * 16 + low);
  }
  return out + "m";
}

}  // namespace

std::string TerminalText(const std::string& text, bool multiline) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto code = static_cast<unsigned char>(text[i]);
    // U+0080..U+009F, the C1 controls, are C2 80..C2 9F in UTF-8: some terminals obey them.
    if (code == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80) {
      ++i;
      continue;
    }
    if ((code == '\n' || code == '\t') && multiline) {
      out += text[i];
      continue;
    }
    if (code < 0x20 || code == 0x7F) continue;
    out += text[i];
  }
  return out;
}

std::size_t DisplayWidth(const std::string& text) {
  std::size_t width = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  }
  return width;
}

void RenderBody(const JsonValue& reply, std::ostream& out) {
  if (const JsonValue* fields = reply.Find("fields"); fields != nullptr) RenderFields(*fields, out);
  if (const JsonValue* table = reply.Find("table"); table != nullptr) RenderTable(*table, out);
}

void RenderLogLine(const JsonValue& line, bool colour, std::ostream& out) {
  const std::string text = TerminalText(StringOf(line.Find("text")), true);
  const std::string ansi = colour ? AnsiColour(StringOf(line.Find("color"))) : std::string();
  if (ansi.empty()) {
    out << text << '\n';
  } else {
    out << ansi << text << "\x1b[0m\n";
  }
  out.flush();
}

}  // namespace velmorin::ctl
