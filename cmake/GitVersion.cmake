# Writes the version header. Run at every build (cmake -P), so a new commit changes the version
# without a reconfigure; the header is rewritten only when its text changes, so an unchanged
# version rebuilds nothing.
#   -DSOURCE_DIR=...  -DBASE_VERSION=0.1.0  -DTEMPLATE=.../Version.hpp.in  -DOUTPUT=.../QuillornVersion.hpp
#
# The version is BASE_VERSION when HEAD is the release tag vBASE_VERSION and the tree is clean;
# otherwise build metadata follows a "+": the commits since the newest release tag and the
# abbreviated commit ("0.1.0+12.g1a2b3c4"), only the commit when no tag exists ("0.1.0+g1a2b3c4"),
# and ".dirty" for uncommitted changes. Metadata after "+" sorts a build after its release, for
# people and for dpkg alike. Without git or outside a checkout it is plain BASE_VERSION.

# The output of a git command, empty when git is missing or fails.
function(git_output result)
  execute_process(COMMAND git ${ARGN} WORKING_DIRECTORY "${SOURCE_DIR}"
                  OUTPUT_VARIABLE out ERROR_QUIET RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 0)
    set(${result} "${out}" PARENT_SCOPE)
  else()
    set(${result} "" PARENT_SCOPE)
  endif()
endfunction()

function(describe_build result)
  set(${result} "" PARENT_SCOPE)
  # Sources unpacked inside some other checkout are not that checkout's commit.
  git_output(top rev-parse --show-toplevel)
  file(REAL_PATH "${SOURCE_DIR}" source)
  if(top STREQUAL "" OR NOT top STREQUAL source)
    return()
  endif()
  git_output(commit rev-parse --short=7 HEAD)
  # Tracked files changed since HEAD; without optional locks, so a build never holds up the
  # developer's own git commands.
  git_output(changes --no-optional-locks status --porcelain --untracked-files=no)
  set(dirty "")
  if(NOT changes STREQUAL "")
    set(dirty ".dirty")
  endif()
  # Asked directly: another tag on the same commit (a release candidate's) may be the one that
  # describe names.
  git_output(release_tag tag --points-at HEAD --list "v${BASE_VERSION}")
  if(NOT release_tag STREQUAL "" AND dirty STREQUAL "")
    return()
  endif()
  git_output(described describe --tags --long --match "v[0-9]*" HEAD)
  if(described MATCHES "-([0-9]+)-g[0-9a-f]+$")
    set(${result} "+${CMAKE_MATCH_1}.g${commit}${dirty}" PARENT_SCOPE)
  else()
    set(${result} "+g${commit}${dirty}" PARENT_SCOPE)
  endif()
endfunction()

if(NOT BASE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "BASE_VERSION \"${BASE_VERSION}\" is not MAJOR.MINOR.PATCH")
endif()
set(QUILLORN_VERSION_MAJOR "${CMAKE_MATCH_1}")
set(QUILLORN_VERSION_MINOR "${CMAKE_MATCH_2}")
set(QUILLORN_VERSION_PATCH "${CMAKE_MATCH_3}")
describe_build(build_suffix)
set(QUILLORN_VERSION "${BASE_VERSION}${build_suffix}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
