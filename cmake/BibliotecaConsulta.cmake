# Installing the lookup library for the family's programs, in the packages' three parts:
#   biblioteca   libremitos-consulta.so.0 (the run-time library)
#   desarrollo   the headers, the .so link, the CMake package, the pkg-config file, the example
include(CMakePackageConfigHelpers)

set(REMITOS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RemitosConsulta)
install(TARGETS remitos_consulta EXPORT RemitosConsultaTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT biblioteca
                NAMELINK_COMPONENT desarrollo)
install(FILES include/remitos/consulta.h include/remitos/Variant.h include/remitos/Collection.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/remitos COMPONENT desarrollo)
install(EXPORT RemitosConsultaTargets NAMESPACE Remitos:: DESTINATION ${REMITOS_CMAKE_DIR}
        COMPONENT desarrollo)
configure_package_config_file(cmake/RemitosConsultaConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/RemitosConsultaConfig.cmake
                              INSTALL_DESTINATION ${REMITOS_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/RemitosConsultaConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/RemitosConsultaConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/RemitosConsultaConfigVersion.cmake
        DESTINATION ${REMITOS_CMAKE_DIR} COMPONENT desarrollo)

# The pkg-config file finds the prefix from where it lies, so that a staged install works too.
set(REMITOS_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH REMITOS_PKGCONFIG_A_PREFIJO /raiz/${REMITOS_PKGCONFIG_DIR} /raiz)
configure_file(cmake/remitos-consulta.pc.in ${CMAKE_CURRENT_BINARY_DIR}/remitos-consulta.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/remitos-consulta.pc DESTINATION ${REMITOS_PKGCONFIG_DIR}
        COMPONENT desarrollo)

install(DIRECTORY examples/consulta-minima
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libremitos-consulta-dev/examples
        COMPONENT desarrollo)

# consulta finds the library relative to itself, so that a copy installed under any prefix
# (cmake --install build --prefix DIR) runs as the package's does.
file(RELATIVE_PATH programa_a_biblioteca /raiz/lib/remitos /raiz/${CMAKE_INSTALL_LIBDIR})
set_target_properties(consulta PROPERTIES INSTALL_RPATH "\$ORIGIN/${programa_a_biblioteca}")
