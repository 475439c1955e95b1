# Installation and the Debian package (scripts/package.sh builds it).
include(GNUInstallDirs)

# Two packages: vexa-eval (the programs) and python3-vexa (the Python module).
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME main)
# Debian's interpreter finds extension modules of any Python 3 here.
set(VEXA_PYTHON_DIR "lib/python3/dist-packages" CACHE PATH "Folder for the Python module")
if(VEXA_PYTHON)
  install(TARGETS vexa LIBRARY DESTINATION ${VEXA_PYTHON_DIR} COMPONENT python)
  install(FILES src/python/vexa.pyi DESTINATION ${VEXA_PYTHON_DIR} COMPONENT python)
endif()

# udev reads rules from the system's folder, wherever the program itself goes.
set(VEXA_UDEV_RULES_DIR "/usr/lib/udev/rules.d" CACHE PATH "Folder for the udev rules")

install(TARGETS vexa-eval vexa-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/udev/60-vexa-eval.rules DESTINATION ${VEXA_UDEV_RULES_DIR})
install(FILES packaging/desktop/vexa-eval.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/desktop/vexa-eval.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/desktop/org.vexa.VexaEval.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Manual pages go compressed, as Debian keeps them.
set(VEXA_MAN_PAGES)
foreach(page vexa-eval vexa-cli)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "gzip -9nc '${CMAKE_SOURCE_DIR}/packaging/man/${page}.1' > '${gz}'"
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1 VERBATIM)
  list(APPEND VEXA_MAN_PAGES ${gz})
endforeach()
add_custom_target(vexa_man_pages ALL DEPENDS ${VEXA_MAN_PAGES})
install(FILES ${VEXA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/completion/vexa-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexa-eval)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vexa Eval developers <vexa-eval@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Bench evaluation of a digital inertial sensor module over SPI")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads, charts, logs, calibrates, configures and dumps a digital inertial sensor module\n\
over a parallel port, a USB SPI card, an FTDI MPSSE board or Linux spidev, or against a\n\
simulated sensor with --simulate. Includes the window program vexa-eval and the command\n\
line vexa-cli.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# Shared libraries come from dpkg-shlibdeps; Qt loads its platform plugins at run time, which
# no library dependency names, and the udev rules want the plugdev group's owner.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt SQL loads its database drivers as plugins, which the library scan does not see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xvfb, xauth")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main)
set(CPACK_DEBIAN_MAIN_PACKAGE_NAME vexa-eval)
if(VEXA_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vexa)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  # The module is built for this interpreter's version (its file name carries the ABI tag).
  math(EXPR VEXA_PYTHON_NEXT_MINOR "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${VEXA_PYTHON_NEXT_MINOR}), python3-numpy")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "python3-matplotlib")
  # The summary line is the project's; this is the body.
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION
      "The Python module vexa reads and writes the sensor's registers, logs into numpy arrays or into the\n\
files vexa-cli writes, reads logs back, and computes Allan deviations and statistics, over\n\
the same adapters as vexa-eval and vexa-cli or against the simulated sensor.")
endif()
include(CPack)
