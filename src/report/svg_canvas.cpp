#include "report/svg_canvas.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velk::report {

void append_escaped(std::string& out, std::string_view text) {
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
}

std::string escaped(std::string_view text) {
  std::string out;
  append_escaped(out, text);
  return out;
}

namespace {

std::string chars(double value, std::chars_format format, int precision) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

// Drops trailing zeros of a fraction, and the point with them.
std::string trimmed(std::string text) {
  if (text.find('.') == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string format_value(double value) {
  if (!std::isfinite(value)) return "-";
  const double magnitude = std::fabs(value);
  if (magnitude != 0.0 && (magnitude < 1e-3 || magnitude >= 1e6)) {
    // "1.235e-05": three decimals of the mantissa, then the exponent.
    std::string text = chars(value, std::chars_format::scientific, 3);
    const std::size_t e = text.find('e');
    return trimmed(text.substr(0, e)) + text.substr(e);
  }
  const int decimals =
      magnitude == 0.0 ? 0 : std::max(0, 3 - static_cast<int>(std::floor(std::log10(magnitude))));
  std::string text = trimmed(chars(value, std::chars_format::fixed, decimals));
  if (text == "-0") text = "0";
  return text;
}

void append_coordinate(std::string& out, double value) {
  // Rounded to tenths; -0 and the trailing .0 are dropped. Far outside any
  // picture, a value is clamped (a NaN drawn at 0).
  const double bounded = std::isnan(value) ? 0.0 : std::clamp(value, -1e9, 1e9);
  const long tenths = std::lround(bounded * 10.0);
  if (tenths < 0) out += '-';
  const long magnitude = tenths < 0 ? -tenths : tenths;
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude / 10);
  out.append(buffer, result.ptr);
  if (magnitude % 10 != 0) {
    out += '.';
    out += static_cast<char>('0' + magnitude % 10);
  }
}

void PathData::point(char command, double x, double y) {
  d_ += command;
  append_coordinate(d_, x);
  d_ += ' ';
  append_coordinate(d_, y);
}

void PathData::move_to(double x, double y) { point('M', x, y); }
void PathData::line_to(double x, double y) { point('L', x, y); }
void PathData::close() { d_ += 'Z'; }

SvgCanvas::SvgCanvas(double width, double height, std::string_view css_class, std::string_view attributes)
    : width_(width), height_(height) {
  out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\"";
  attribute("class", css_class);
  out_ += " viewBox=\"0 0 ";
  append_coordinate(out_, width);
  out_ += ' ';
  append_coordinate(out_, height);
  out_ += '"';
  out_ += attributes;
  out_ += '>';
}

void SvgCanvas::open_element(std::string_view element, std::string_view css_class) {
  out_ += '<';
  out_ += element;
  attribute("class", css_class);
}

void SvgCanvas::attribute(std::string_view name, std::string_view value) {
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  out_ += value;
  out_ += '"';
}

void SvgCanvas::attribute(std::string_view name, double coordinate) {
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  append_coordinate(out_, coordinate);
  out_ += '"';
}

void SvgCanvas::path(const PathData& d, std::string_view css_class, std::string_view attributes) {
  open_element("path", css_class);
  attribute("d", d.text());
  out_ += attributes;
  out_ += "/>";
}

void SvgCanvas::line(double x1, double y1, double x2, double y2, std::string_view css_class) {
  PathData d;
  d.move_to(x1, y1);
  d.line_to(x2, y2);
  path(d, css_class);
}

void SvgCanvas::circle(double cx, double cy, double r, std::string_view css_class) {
  open_element("circle", css_class);
  attribute("cx", cx);
  attribute("cy", cy);
  attribute("r", r);
  out_ += "/>";
}

void SvgCanvas::text(double x, double y, std::string_view text, std::string_view css_class,
                     std::string_view anchor) {
  open_element("text", css_class);
  attribute("x", x);
  attribute("y", y);
  if (anchor != "start") attribute("text-anchor", anchor);
  out_ += '>';
  append_escaped(out_, text);
  out_ += "</text>";
}

std::string SvgCanvas::finish() {
  out_ += "</svg>";
  return std::move(out_);
}

}  // namespace velk::report
