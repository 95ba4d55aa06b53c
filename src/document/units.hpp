#pragma once
// Conversion of the document's units to base units (newtons, metres,
// kilograms per cubic metre, pascals, radians) and of results back.

#include "document/velk.hpp"

namespace velk {

// Factors that turn a value given in the document's unit into the base unit.
struct UnitFactors {
  double length = 1.0;    // L
  double force = 1.0;     // F
  double density = 1.0;   // D
  double pressure = 1.0;  // P
};

UnitFactors unit_factors(const UnitSettings& units);

// Converts every dimensioned input value of the model to base units in place.
// Results already in the model are left alone.
void normalize_units(VELK& model, const UnitFactors& factors);

// Converts one results record computed in base units to the document's
// length and force units.
void results_to_document_units(Results& results, const UnitFactors& factors);

}  // namespace velk
