#include "inspection/inspection.hpp"

int main() { return 0; }
