#pragma once
// Writing inline SVG and HTML text: escaping, compact coordinates, numbers
// as the report prints them, and a canvas that appends elements.

#include <string>
#include <string_view>

namespace velk::report {

// Text with & < > " ' replaced by their entities.
void append_escaped(std::string& out, std::string_view text);
std::string escaped(std::string_view text);

// A value as the report prints it: four significant digits in plain
// decimals for 0.001 <= |v| < 1e6, otherwise in exponent form ("1.235e-05");
// zero as "0", non-finite values as "-".
std::string format_value(double value);

// Picture coordinates with one decimal, no trailing ".0".
void append_coordinate(std::string& out, double value);

// The "d" attribute of an SVG path.
class PathData {
 public:
  void move_to(double x, double y);
  void line_to(double x, double y);
  void close();
  // The other path's segments after this one's.
  void append(const PathData& other) { d_ += other.d_; }
  bool empty() const { return d_.empty(); }
  const std::string& text() const { return d_; }

 private:
  void point(char command, double x, double y);
  std::string d_;
};

// One <svg> element of the given size (its viewBox; it scales with the page).
class SvgCanvas {
 public:
  // `attributes` go on the <svg> element as they are.
  SvgCanvas(double width, double height, std::string_view css_class, std::string_view attributes = {});

  // A path with a class and optional raw attributes (` data-member="3"`).
  void path(const PathData& d, std::string_view css_class, std::string_view attributes = {});
  void line(double x1, double y1, double x2, double y2, std::string_view css_class);
  void circle(double cx, double cy, double r, std::string_view css_class);
  // `anchor` is start, middle or end.
  void text(double x, double y, std::string_view text, std::string_view css_class,
            std::string_view anchor = "start");
  // Raw markup the caller has already escaped.
  void raw(std::string_view markup) { out_ += markup; }

  double width() const { return width_; }
  double height() const { return height_; }
  std::string finish();

 private:
  // `<element class="css_class"`, left open for its attributes.
  void open_element(std::string_view element, std::string_view css_class);
  // ` name="value"`: a value that needs no escaping (a class, a keyword, path
  // data), or a coordinate in the picture's layout.
  void attribute(std::string_view name, std::string_view value);
  void attribute(std::string_view name, double coordinate);

  std::string out_;
  double width_;
  double height_;
};

}  // namespace velk::report
