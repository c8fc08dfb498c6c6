# Manual pages of tamberlane-cli, made from its own help in each language by help2man: English
# in man1, Japanese in ja/man1. help2man's Japanese headings need a Japanese locale, which is
# built here (the machine need not have it generated).
find_program(HELP2MAN help2man REQUIRED)
find_program(LOCALEDEF localedef REQUIRED)

set(TAMBERLANE_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(japanese_locale_dir ${CMAKE_BINARY_DIR}/locale-data)
set(man_en ${TAMBERLANE_MAN_DIR}/man1/tamberlane-cli.1)
set(man_ja ${TAMBERLANE_MAN_DIR}/ja/man1/tamberlane-cli.1)

add_custom_command(
  OUTPUT ${japanese_locale_dir}/ja_JP.UTF-8/LC_CTYPE
  COMMAND ${CMAKE_COMMAND} -E make_directory ${japanese_locale_dir}
  COMMAND ${LOCALEDEF} --quiet -c -i ja_JP -f UTF-8 ${japanese_locale_dir}/ja_JP.UTF-8
  VERBATIM)
add_custom_command(
  OUTPUT ${man_en}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAMBERLANE_MAN_DIR}/man1
  COMMAND ${CMAKE_COMMAND} -E env PERL_BADLANG=0 ASAN_OPTIONS=detect_leaks=0
          ${HELP2MAN} --no-info --locale=en_US.UTF-8
          --include=${CMAKE_SOURCE_DIR}/man/tamberlane-cli.en.h2m
          --output=${man_en} $<TARGET_FILE:tamberlane-cli>
  DEPENDS tamberlane-cli catalogues ${CMAKE_SOURCE_DIR}/man/tamberlane-cli.en.h2m
  VERBATIM)
add_custom_command(
  OUTPUT ${man_ja}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAMBERLANE_MAN_DIR}/ja/man1
  COMMAND ${CMAKE_COMMAND} -E env LOCPATH=${japanese_locale_dir} ASAN_OPTIONS=detect_leaks=0
          ${HELP2MAN} --no-info --locale=ja_JP.UTF-8
          --include=${CMAKE_SOURCE_DIR}/man/tamberlane-cli.ja.h2m
          --output=${man_ja} $<TARGET_FILE:tamberlane-cli>
  DEPENDS tamberlane-cli ${japanese_locale_dir}/ja_JP.UTF-8/LC_CTYPE
          ${CMAKE_SOURCE_DIR}/man/tamberlane-cli.ja.h2m
  VERBATIM)
add_custom_target(man_pages ALL DEPENDS ${man_en} ${man_ja})
install(FILES ${man_en} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${man_ja} DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
