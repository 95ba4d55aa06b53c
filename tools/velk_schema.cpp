// Writes the JSON Schema of the model document to the file given as the only
// argument, or to standard output without one.

#include <cstdio>
#include <fstream>
#include <iostream>

#include "model_schema/model_schema.hpp"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: velk_schema [output.json]\n";
    return 2;
  }
  const std::string schema = velk::model_json_schema();
  if (argc == 1) {
    std::cout << schema;
    return std::cout.good() ? 0 : 1;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << schema;
  out.close();
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
