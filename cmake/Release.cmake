# The release the build makes, as the package's changelog (dist/debian/changelog) tells
# it: its newest entry must be the project's version, and so must the newest release of
# the AppStream metainfo, with the same date. A version raised without its changelog entry
# stops the build here rather than giving a package that says another version.
#   QUENLOR_RELEASE_DATE       the newest entry's date, as 2026-12-08
#   QUENLOR_PACKAGE_REVISION   the Debian revision of the package made of this version:
#                              the 1 of 1.2.1-1, raised for a package changed alone
set(quenlor_changelog ${CMAKE_SOURCE_DIR}/dist/debian/changelog)
set(quenlor_metainfo ${CMAKE_SOURCE_DIR}/dist/io.github.quenlor.quenlor.metainfo.xml)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${quenlor_changelog} ${quenlor_metainfo})

file(READ ${quenlor_changelog} quenlor_changelog_text)
# The entry's version is the project's and the package's revision: 1.2.1-1.
if(NOT quenlor_changelog_text MATCHES "^quenlor \\(([^)-]+)-([^)]+)\\)")
  message(FATAL_ERROR "${quenlor_changelog}: the first line names no VERSION-REVISION")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${quenlor_changelog}: the newest entry is ${CMAKE_MATCH_1}, the "
      "project's version ${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}-1")
endif()
set(QUENLOR_PACKAGE_REVISION ${CMAKE_MATCH_2})
# The entry's trailer: " -- Name <address>  Tue, 08 Dec 2026 15:00:00 +0000".
if(NOT quenlor_changelog_text MATCHES
   "\n -- [^\n]*>  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "${quenlor_changelog}: the newest entry has no trailer with a date")
endif()
set(quenlor_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND quenlor_months ${CMAKE_MATCH_2} quenlor_month)
math(EXPR quenlor_month "${quenlor_month} + 1" OUTPUT_FORMAT DECIMAL)
if(quenlor_month LESS 10)
  set(quenlor_month 0${quenlor_month})
endif()
set(QUENLOR_RELEASE_DATE ${CMAKE_MATCH_3}-${quenlor_month}-${CMAKE_MATCH_1})

file(READ ${quenlor_metainfo} quenlor_metainfo_text)
if(NOT quenlor_metainfo_text MATCHES "<release version=\"([^\"]+)\" date=\"([^\"]+)\"")
  message(FATAL_ERROR "${quenlor_metainfo}: no release")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION OR
   NOT CMAKE_MATCH_2 STREQUAL QUENLOR_RELEASE_DATE)
  message(FATAL_ERROR "${quenlor_metainfo}: the newest release is ${CMAKE_MATCH_1} of "
      "${CMAKE_MATCH_2}, the changelog's ${PROJECT_VERSION} of ${QUENLOR_RELEASE_DATE}")
endif()
