#include <string_view>
#include <vector>

#include "cli/report_command.hpp"
#include "inspection/inspection.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments.front() == "report")
    return velk::cli::run_report_command(std::span(arguments).subspan(1));
  return 0;
}
