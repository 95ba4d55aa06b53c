"""The records of a model document as dicts, for the Python that writes models:
the examples (examples/make_examples.py), the verification manual
(tools/write_verification.py), the browser test models and the Python tests.

Every function returns one record with the engine's keys in the order the
engine writes them (the tables of docs/model-format.md), so a document built
here reads back unchanged through `load_velk_from_file`. An optional field not
given is null, as the engine writes it; `document` also takes ABSENT for an
optional record that is to be left out altogether. The required fields that
models seldom vary have plain defaults: no rotation, an empty classification,
no weight, a uniform load over the whole member, a first-order analysis in
base units.

Standard library only, for plain `python3`: the examples and the browser models
put this folder on sys.path, the tests find it on the PYTHONPATH that
tests/CMakeLists.txt sets. It is not part of the wheel.
"""

AXES = "XYZ"


class _Absent:
    def __repr__(self):
        return "ABSENT"


ABSENT = _Absent()  # an optional key of the document left out, not written as null


def node(node_id, x, y=0.0, z=0.0, nodal_support=None):
    """A node as every member that uses it holds it; coordinates as floats."""
    return {"id": node_id, "X": float(x), "Y": float(y), "Z": float(z), "nodal_support": nodal_support}


def member(member_id, start_node, end_node, section=None, member_type="Normal", rotation_angle=0.0,
           start_hinge=None, end_hinge=None, classification="", weight=0.0, chi=None, reference_member=None,
           reference_node=None):
    """A member from its two node records; a Rigid member needs no section."""
    return {"id": member_id, "start_node": start_node, "end_node": end_node, "section": section,
            "rotation_angle": rotation_angle, "start_hinge": start_hinge, "end_hinge": end_hinge,
            "classification": classification, "weight": weight, "chi": chi, "reference_member": reference_member,
            "reference_node": reference_node, "member_type": member_type}


def member_set(set_id, members, classification=None, l_y=None, l_z=None):
    return {"id": set_id, "l_y": l_y, "l_z": l_z, "classification": classification, "members": list(members)}


def material(material_id, e_mod, g_mod, name="", density=0.0, yield_stress=0.0):
    return {"id": material_id, "name": name, "e_mod": e_mod, "g_mod": g_mod, "density": density,
            "yield_stress": yield_stress}


def section(section_id, material, area, i_y, i_z, j, name="", h=None, b=None, shape_path=None):
    """i_y bends in the local x-z plane, i_z in the local x-y plane."""
    return {"id": section_id, "name": name, "material": material, "h": h, "b": b, "i_y": i_y, "i_z": i_z, "j": j,
            "area": area, "shape_path": shape_path}


def condition(kind):
    """One axis of a support: a condition type ("Fixed", "Free", "PositiveOnly",
    "NegativeOnly") or a number, the stiffness of a spring."""
    if isinstance(kind, str):
        return {"condition_type": kind, "stiffness": None}
    return {"condition_type": "Spring", "stiffness": kind}


def conditions(by_axis):
    """The conditions of a support: a map of axis to condition() argument, or
    one argument for all three axes. An axis left out of a map is held."""
    if isinstance(by_axis, dict):
        return {axis: condition(kind) for axis, kind in by_axis.items()}
    return {axis: condition(by_axis) for axis in AXES}


def support(support_id, displacement="Fixed", rotation="Fixed", classification=None):
    """A nodal support; fully fixed by default."""
    return {"id": support_id, "classification": classification, "displacement_conditions": conditions(displacement),
            "rotation_conditions": conditions(rotation)}


HINGE_RELEASES = ("translational_release_vx", "translational_release_vy", "translational_release_vz",
                  "rotational_release_mx", "rotational_release_my", "rotational_release_mz",
                  "max_tension_vx", "max_tension_vy", "max_tension_vz",
                  "max_moment_mx", "max_moment_my", "max_moment_mz")


def hinge(hinge_id, hinge_type="", **releases):
    """A member hinge: each release given is <= 0 for a full release or a spring
    stiffness; the others are rigid (null)."""
    unknown = sorted(set(releases) - set(HINGE_RELEASES))
    if unknown:
        raise TypeError(f"hinge() got unknown releases {unknown}")
    return dict({"id": hinge_id, "hinge_type": hinge_type}, **{key: releases.get(key) for key in HINGE_RELEASES})


def nodal_load(load_id, node_id, load_case, magnitude, direction, load_type=""):
    """A force of `magnitude` along `direction` (not normalised by the engine)."""
    return {"id": load_id, "node": node_id, "load_case": load_case, "magnitude": magnitude,
            "direction": list(direction), "load_type": load_type}


def nodal_moment(load_id, node_id, load_case, magnitude, direction, load_type=""):
    """A moment of `magnitude` about `direction`, right hand rule."""
    return {"id": load_id, "node": node_id, "load_case": load_case, "magnitude": magnitude,
            "direction": list(direction), "load_type": load_type}


def distributed_load(member_id, load_case, magnitude, direction, start_frac=0.0, end_frac=1.0, end_magnitude=None):
    """A load along a member, uniform unless `end_magnitude` is given; it acts
    only in the load case whose id is `load_case`."""
    return {"member": member_id, "load_case": load_case, "magnitude": magnitude, "direction": list(direction),
            "start_frac": start_frac, "end_frac": end_frac,
            "end_magnitude": magnitude if end_magnitude is None else end_magnitude}


def load_case(case_id, name, nodal_loads=(), nodal_moments=(), distributed_loads=()):
    return {"id": case_id, "name": name, "nodal_loads": list(nodal_loads), "nodal_moments": list(nodal_moments),
            "distributed_loads": list(distributed_loads), "rotation_imperfections": [],
            "translation_imperfections": []}


def combination(combination_id, name, factors, check="", situation=None, limit_state=None):
    """A load combination; `factors` maps load case ids to factors."""
    return {"id": combination_id, "name": name,
            "load_cases_factors": {str(case): factor for case, factor in factors.items()},
            "situation": situation, "check": check, "limit_state": limit_state}


def analysis_options(order="LINEAR", tolerance=1e-6, max_iterations=None, axial_slack=0.0,
                     rigid_strategy="LinearMpc", solve_loadcases=True, solver="direct", dimensionality="3D"):
    """First order by default; max_iterations None is the engine's 20."""
    return {"id": 1, "solve_loadcases": solve_loadcases, "solver": solver, "tolerance": tolerance,
            "max_iterations": max_iterations, "dimensionality": dimensionality, "order": order,
            "rigid_strategy": rigid_strategy, "axial_slack": axial_slack}


def general_info(project_name="", author="", version="1"):
    return {"project_name": project_name, "author": author, "version": version}


def unit_settings(**units):
    """The units given, in the order given (system, lengthUnit, forceUnit,
    densityUnit, pressureUnit); the engine takes m, N, kg/m3 and Pa for the rest."""
    unknown = sorted(set(units) - {"system", "lengthUnit", "forceUnit", "densityUnit", "pressureUnit"})
    if unknown:
        raise TypeError(f"unit_settings() got unknown units {unknown}")
    return dict(units)


def settings(analysis_options=None, general_info=None, unit_settings=None):
    """Settings of a first-order analysis in base units unless told otherwise."""
    return {"id": 1, "analysis_options": _analysis_options() if analysis_options is None else analysis_options,
            "general_info": _general_info() if general_info is None else general_info,
            "unit_settings": {} if unit_settings is None else unit_settings}


def document(member_sets, materials, sections, nodal_supports=(), load_cases=(), load_combinations=(),
             settings=None, memberhinges=None, imperfection_cases=(), results=None, shape_paths=None):
    """The whole model document in the engine's order; the optional records
    (results, memberhinges, shape_paths) are null unless given, left out when ABSENT."""
    record = {"member_sets": list(member_sets), "load_cases": list(load_cases),
              "load_combinations": list(load_combinations), "imperfection_cases": list(imperfection_cases),
              "settings": _settings() if settings is None else settings, "results": results,
              "memberhinges": memberhinges, "materials": list(materials), "sections": list(sections),
              "nodal_supports": list(nodal_supports), "shape_paths": shape_paths}
    return {key: value for key, value in record.items() if value is not ABSENT}


# The record functions under the names their keyword arguments shadow.
_analysis_options, _general_info, _settings = analysis_options, general_info, settings
