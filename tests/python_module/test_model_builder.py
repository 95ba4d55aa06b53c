"""The model builder of tools/ writes what the engine writes: a document of
every kind of record reads back key for key and in the same order, and the
analysed document is the built one with its results."""

import json
import os
import tempfile
import unittest

import model_builder as mb
import velk_calculations


def ordered(text):
    """The JSON text as nested lists of (key, value) pairs: equal only with the keys in the same order."""
    return json.loads(text, object_pairs_hook=list)


def every_record():
    """A two-storey column and a beam with a rigid stub, every optional field
    given once and left to its default once, in kN and m."""
    first, second = mb.node(1, 0.0, nodal_support=1), mb.node(2, 0.0, 3.0)
    third, fourth = mb.node(3, 4.0, 3.0, 0.5, nodal_support=2), mb.node(4, 4.5, 3.0, 0.5)
    members = [
        mb.member(1, first, second, 1, classification="column", weight=1.5, chi=0.9, reference_member=2,
                  reference_node=3),
        mb.member(2, second, third, 2, "Normal", 0.25, start_hinge=1, end_hinge=1, classification="beam"),
        mb.member(3, third, fourth, member_type="Rigid"),
    ]
    case = mb.load_case(1, "Dead", [mb.nodal_load(1, 2, 1, 10.0, [1.0, 0.0, 0.0], "point")],
                        [mb.nodal_moment(1, 4, 1, 2.0, [0.0, 0.0, 1.0])],
                        [mb.distributed_load(2, 1, -5.0, [0.0, 1.0, 0.0]),
                         mb.distributed_load(2, 1, -1.0, [0.0, 1.0, 0.0], 0.25, 0.75, -3.0)])
    wind = mb.load_case(2, "Wind", [mb.nodal_load(1, 2, 2, 4.0, [0.0, 0.0, 1.0])])
    return mb.document(
        [mb.member_set(1, members[:1], "columns", l_y=3.0, l_z=1.5), mb.member_set(2, members[1:])],
        [mb.material(1, 210e6, 81e6, "S355", 7850.0, 355e3)],
        [mb.section(1, 1, 5.4e-3, 1.3e-5, 3.7e-5, 2.1e-7, "HEA200", h=0.19, b=0.2),
         mb.section(2, 1, 5.4e-3, 6.0e-6, 8.4e-5, 2.0e-7)],
        [mb.support(1), mb.support(2, {"X": "Free", "Y": 5000.0, "Z": "Fixed"}, "Free", "spring")],
        [case, wind],
        [mb.combination(1, "ULS", {1: 1.35, 2: 1.5}, "strength", "persistent", "ULS"),
         mb.combination(2, "SLS", {1: 1.0})],
        mb.settings(mb.analysis_options(tolerance=1e-8, max_iterations=30, axial_slack=1.0),
                    mb.general_info("builder", "velk tests", "2"),
                    mb.unit_settings(system="metric", lengthUnit="m", forceUnit="kN", densityUnit="kg/m3",
                                     pressureUnit="kPa")),
        [mb.hinge(1, "end plate", rotational_release_mz=1.0e4, max_moment_my=50.0)])


class ModelBuilderTest(unittest.TestCase):
    def test_documents_read_back_unchanged_in_the_engines_order(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "built.json")
            built = every_record()
            with open(path, "w", encoding="utf-8") as f:
                json.dump(built, f)
            self.assertEqual(ordered(velk_calculations.load_velk_from_file(path)), ordered(json.dumps(built)))

    def test_analysed_document_is_the_built_one_with_results(self):
        built = every_record()
        # The analysed document is in base units: build it in them.
        built["settings"]["unit_settings"] = mb.unit_settings(system="metric", lengthUnit="m", forceUnit="N",
                                                              densityUnit="kg/m3", pressureUnit="Pa")
        analysed = json.loads(velk_calculations.calculate_from_json(json.dumps(built)))
        bundle = analysed.pop("results")
        self.assertEqual(sorted(bundle["loadcases"]), ["Dead", "Wind"])
        self.assertEqual(sorted(bundle["loadcombinations"]), ["SLS", "ULS"])
        built.pop("results")
        self.assertEqual(ordered(json.dumps(analysed)), ordered(json.dumps(built)))


if __name__ == "__main__":
    unittest.main()
