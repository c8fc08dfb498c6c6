# The message catalogues: one gettext domain for every layer, written as one .po file per
# layer and joined here, so each layer's texts sit beside the layer.
find_program(MSGCAT msgcat REQUIRED)
find_program(MSGFMT msgfmt REQUIRED)

set(TAMBERLANE_CATALOGUE_LANGUAGES en)
set(TAMBERLANE_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale)
add_custom_target(catalogues ALL)
foreach(language ${TAMBERLANE_CATALOGUE_LANGUAGES})
  file(GLOB layer_po CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/${language}/*.po)
  set(joined ${CMAKE_BINARY_DIR}/po/${language}.po)
  set(mo ${TAMBERLANE_LOCALE_DIR}/${language}/LC_MESSAGES/tamberlane.mo)
  add_custom_command(
    OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/po
            ${TAMBERLANE_LOCALE_DIR}/${language}/LC_MESSAGES
    COMMAND ${MSGCAT} --no-wrap --use-first -o ${joined} ${layer_po}
    COMMAND ${MSGFMT} --check -o ${mo} ${joined}
    DEPENDS ${layer_po}
    VERBATIM)
  add_custom_target(catalogue_${language} DEPENDS ${mo})
  add_dependencies(catalogues catalogue_${language})
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
endforeach()
