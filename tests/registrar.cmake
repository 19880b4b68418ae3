# The registrar's and the association component's unit tests, and the component's test doubles.
quenvo_unit_test(registrar_offer_test SOURCES unit/registrar_offer_test.cpp LIBS quenvo_registrar)
quenvo_unit_test(registrar_component_test SOURCES unit/registrar_component_test.cpp LIBS quenvo_association)
target_compile_definitions(registrar_component_test PRIVATE QUENVO_BIN_DIR="Z:${CMAKE_BINARY_DIR}/bin")
add_dependencies(registrar_component_test FileAssociation)

# Recording stand-ins for FileAssociation.dll; the black-box tests install them under that name.
foreach(double assoc_double assoc_double_noexport)
  add_library(${double} SHARED tools/assoc_double.cpp tools/${double}.def)
  set_target_properties(${double} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${QUENVO_TEST_BIN})
  target_link_libraries(${double} PRIVATE quenvo_association_contract)
endforeach()
