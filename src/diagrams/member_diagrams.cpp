#include "diagrams/member_diagrams.hpp"

namespace velk {

double Polynomial::operator()(double t) const {
  double value = 0.0;
  for (int k = capacity - 1; k >= 0; --k) value = value * t + c[static_cast<std::size_t>(k)];
  return value;
}

Polynomial Polynomial::derivative() const {
  Polynomial d;
  for (int k = 1; k < capacity; ++k)
    d.c[static_cast<std::size_t>(k - 1)] = k * c[static_cast<std::size_t>(k)];
  return d;
}

double MemberDiagram::value(DiagramComponent, double) const { return 0.0; }

SpanExtreme MemberDiagram::extreme(DiagramComponent) const { return {}; }

MemberDiagrams build_member_diagrams(const VELK&, CaseIdentity, const Eigen::VectorXd&, const ActiveMap&,
                                     const RecoveryOptions&) {
  return {};
}

void diagram_to_document_units(MemberDiagram&, const UnitFactors&) {}

SampledDiagram sample_diagram(const MemberDiagram& diagram, int) {
  return SampledDiagram{diagram.length, {}, {}, {}};
}

}  // namespace velk
