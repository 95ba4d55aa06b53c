#pragma once
// Model documents shared by the document tests.

#include <string>
#include <string_view>

namespace velk::test_support {

// The smallest valid document: every required field, nothing else.
inline constexpr std::string_view minimal_document =
    R"({"member_sets":[],"load_cases":[],"load_combinations":[],"imperfection_cases":[],)"
    R"("settings":{"id":1,"analysis_options":{"id":1,"solve_loadcases":true,"solver":"direct",)"
    R"("tolerance":0.001,"dimensionality":"3D","order":"LINEAR","rigid_strategy":"LinearMpc",)"
    R"("axial_slack":0},"general_info":{"project_name":"p","author":"a","version":"1"},"unit_settings":{}},)"
    R"("materials":[],"sections":[],"nodal_supports":[]})";

// The minimal document as the writer spells it.
inline constexpr std::string_view minimal_document_written =
    R"({"member_sets":[],"load_cases":[],"load_combinations":[],"imperfection_cases":[],)"
    R"("settings":{"id":1,"analysis_options":{"id":1,"solve_loadcases":true,"solver":"direct",)"
    R"("tolerance":0.001,"max_iterations":null,"dimensionality":"3D","order":"LINEAR",)"
    R"("rigid_strategy":"LinearMpc","axial_slack":0.0},"general_info":{"project_name":"p","author":"a",)"
    R"("version":"1"},"unit_settings":{"system":"metric","lengthUnit":"m","forceUnit":"N",)"
    R"("densityUnit":"kg/m3","pressureUnit":"Pa"}},"results":null,"memberhinges":null,"materials":[],)"
    R"("sections":[],"nodal_supports":[],"shape_paths":null})";

// A document with every record type, written exactly as the writer writes it,
// so reading and writing it again must give the same bytes.
inline constexpr std::string_view full_document_written =
    R"({"member_sets":[{"id":1,"l_y":3.5,"l_z":null,"classification":"columns","members":[)"
    R"({"id":1,"start_node":{"id":1,"X":0.0,"Y":0.0,"Z":0.0,"nodal_support":1},)"
    R"("end_node":{"id":2,"X":0.0,"Y":0.0,"Z":3.0,"nodal_support":null},"section":1,)"
    R"("rotation_angle":0.0,"start_hinge":null,"end_hinge":1,"classification":"col","weight":12.5,)"
    R"("chi":0.85,"reference_member":null,"reference_node":7,"member_type":"Normal"},)"
    R"({"id":2,"start_node":{"id":2,"X":0.0,"Y":0.0,"Z":3.0,"nodal_support":null},)"
    R"("end_node":{"id":3,"X":4.25,"Y":-1e-7,"Z":3.0,"nodal_support":2},"section":null,)"
    R"("rotation_angle":1.5707963267948966,"start_hinge":null,"end_hinge":null,"classification":"",)"
    R"("weight":0.0,"chi":null,"reference_member":1,"reference_node":null,"member_type":"Tension"}]},)"
    R"({"id":2,"l_y":null,"l_z":null,"classification":null,"members":[]}],)"
    R"("load_cases":[{"id":1,"name":"Dead \"G\"\n","nodal_loads":[{"id":1,"node":2,"load_case":1,)"
    R"("magnitude":-1000.0,"direction":[0.0,0.0,-1.0],"load_type":"point"}],)"
    R"("nodal_moments":[{"id":2,"node":3,"load_case":1,"magnitude":5.5,"direction":[1.0,0.0,0.0],)"
    R"("load_type":"m"}],"distributed_loads":[{"member":2,"load_case":1,"magnitude":-2.0,)"
    R"("direction":[0.0,0.0,1.0],"start_frac":0.0,"end_frac":1.0,"end_magnitude":-4.0}],)"
    R"("rotation_imperfections":[{"memberset_ids":[1,18446744073709551615],"magnitude":0.005,)"
    R"("axis":[0.0,1.0,0.0]}],"translation_imperfections":[{"memberset_ids":[],"magnitude":0.01,)"
    R"("axis":[1.0,0.0,0.0]}]}],)"
    R"("load_combinations":[{"id":1,"name":"ULS 1","load_cases_factors":{"1":1.35,"2":1.5},)"
    R"("situation":"persistent","check":"strength","limit_state":"ULS"},)"
    R"({"id":2,"name":"SLS","load_cases_factors":{},"situation":null,"check":"deflection","limit_state":null}],)"
    R"("imperfection_cases":[{"imperfection_case_id":1,"load_combinations":[1,2],)"
    R"("rotation_imperfections":[],"translation_imperfections":[]}],)"
    R"("settings":{"id":1,"analysis_options":{"id":3,"solve_loadcases":false,"solver":"lu",)"
    R"("tolerance":1e-6,"max_iterations":50,"dimensionality":"2D","order":"NONLINEAR",)"
    R"("rigid_strategy":"RigidMember","axial_slack":0.001},"general_info":{"project_name":"Hall \u0001",)"
    R"("author":"Ådne","version":"2.1"},"unit_settings":{"system":"SI","lengthUnit":"mm","forceUnit":"kN",)"
    R"("densityUnit":"kg/mm3","pressureUnit":"GPa"}},)"
    R"("results":{"loadcases":{"Dead":{"name":"Dead","result_type":{"Loadcase":1},)"
    R"("displacement_nodes":{"2":{"dx":0.001,"dy":-0.0,"dz":1e16,"rx":0.0,"ry":0.0,"rz":0.0},)"
    R"("10":{"dx":0.0,"dy":0.0,"dz":0.0,"rx":0.0,"ry":0.0,"rz":1.5e-7}},)"
    R"("reaction_nodes":{"1":{"nodal_forces":{"fx":1.0,"fy":2.0,"fz":3.0,"mx":4.0,"my":5.0,"mz":6.0},)"
    R"("location":{"X":0.0,"Y":0.0,"Z":0.0},"support_id":1}},)"
    R"("member_results":{"1":{"start_node_forces":{"fx":1.0,"fy":0.0,"fz":0.0,"mx":0.0,"my":0.0,"mz":0.0},)"
    R"("end_node_forces":{"fx":-1.0,"fy":0.0,"fz":0.0,"mx":0.0,"my":0.0,"mz":0.0},)"
    R"("maximums":{"fx":1.0,"fy":0.0,"fz":0.0,"mx":0.0,"my":0.0,"mz":0.0},)"
    R"("minimums":{"fx":-1.0,"fy":0.0,"fz":0.0,"mx":0.0,"my":0.0,"mz":0.0}}},)"
    R"("summary":{"total_displacements":2,"total_reaction_forces":1,"total_member_forces":1},)"
    R"("unity_checks":{"ec3":{"check_id":"ec3","ok":true,"value":0.5,"limit":1.0,"message":null,)"
    R"("governing":{"member_id":1,"load_combination_id":null,"load_case_id":1},)"
    R"("details":{"a":[1,-2,3.5,-0.0,true,null,"x"],"b":{"c":{}}}}}}},)"
    R"("loadcombinations":{"ULS 1":{"name":"ULS 1","result_type":{"Loadcombination":1},)"
    R"("displacement_nodes":{},"reaction_nodes":{},"member_results":{},)"
    R"("summary":{"total_displacements":0,"total_reaction_forces":0,"total_member_forces":0},)"
    R"("unity_checks":null}},"unity_checks_overview":{"ec3":{"check_id":"ec3","aggregated_ok":false,)"
    R"("aggregated_value":1.2,"governing":null,"children":[]}}},)"
    R"("memberhinges":[{"id":1,"hinge_type":"pin","translational_release_vx":null,)"
    R"("translational_release_vy":null,"translational_release_vz":null,"rotational_release_mx":null,)"
    R"("rotational_release_my":0.0,"rotational_release_mz":2500.0,"max_tension_vx":null,)"
    R"("max_tension_vy":null,"max_tension_vz":null,"max_moment_mx":null,"max_moment_my":null,)"
    R"("max_moment_mz":100.0}],)"
    R"("materials":[{"id":1,"name":"S355","e_mod":210.0,"g_mod":81.0,"density":7.85e-6,"yield_stress":0.355}],)"
    R"("sections":[{"id":1,"name":"HEA 200","material":1,"h":190.0,"b":200.0,"i_y":36920000.0,)"
    R"("i_z":13360000.0,"j":209800.0,"area":5383.0,"shape_path":1}],)"
    R"("nodal_supports":[{"id":1,"classification":null,"displacement_conditions":{)"
    R"("X":{"condition_type":"Fixed","stiffness":null},"Y":{"condition_type":"Spring","stiffness":1000.0},)"
    R"("Z":{"condition_type":"PositiveOnly","stiffness":null}},"rotation_conditions":{)"
    R"("X":{"condition_type":"Free","stiffness":null},"y":{"condition_type":"NegativeOnly","stiffness":null}}},)"
    R"({"id":2,"classification":"pin","displacement_conditions":{},"rotation_conditions":{}}],)"
    R"("shape_paths":[{"id":1,"name":"outline","shape_commands":[{"command":"M","y":0.0,"z":0.0,"r":null,)"
    R"("control_y1":null,"control_z1":null,"control_y2":null,"control_z2":null},)"
    R"({"command":"C","y":1.0,"z":2.0,"r":0.5,"control_y1":0.1,"control_z1":0.2,"control_y2":0.3,)"
    R"("control_z2":0.4}]}]})";

}  // namespace velk::test_support
