# What the Windows program carries besides its code; included once the target exists. Its
# resources, from platform/win32.rc.in through windres: a version resource (what Explorer's
# Details tab, inventory tools and publisher rules read) and the application manifest.
enable_language(RC)

# VERSIONINFO takes four numbers; project() may declare fewer.
string(REPLACE "." ";" version_numbers ${PROJECT_VERSION})
list(LENGTH version_numbers count)
while(count LESS 4)
  list(APPEND version_numbers 0)
  math(EXPR count "${count} + 1")
endwhile()
string(REPLACE ";" "," VOLTALLY_VERSION_NUMBERS "${version_numbers}")
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE VOLTALLY_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE)

set(manifest ${PROJECT_SOURCE_DIR}/platform/win32.manifest)
configure_file(${PROJECT_SOURCE_DIR}/platform/win32.rc.in ${CMAKE_BINARY_DIR}/win32.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/win32.rc PROPERTIES OBJECT_DEPENDS ${manifest})
target_sources(Voltally PRIVATE ${CMAKE_BINARY_DIR}/win32.rc)

# The same bytes from every build: the linker leaves the header's time stamp at zero, and strips
# the program itself, since strip would stamp it with the time it runs.
target_link_options(Voltally PRIVATE -s -Wl,--no-insert-timestamp)
