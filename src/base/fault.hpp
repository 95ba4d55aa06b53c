#pragma once
// The one exception type of the engine: an internal fault that stops the
// current call at once (an index outside a matrix, a member whose ends
// coincide where its direction is needed, ...). Everything a user can cause
// through the model is reported as a message instead.

#include <stdexcept>
#include <string>

namespace velk {

class Fault : public std::runtime_error {
 public:
  explicit Fault(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace velk
