# Writes Version.cpp with the project version and, in a clone, `git describe`; the file is
# rewritten only when its text changes, so an unchanged tree recompiles nothing.
set(describe "")
if(GIT AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} describe --tags --always --dirty
                  OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result ERROR_QUIET)
  if(NOT result EQUAL 0)
    set(describe "")
  endif()
endif()
set(text "#include \"cli/Version.h\"\n\nnamespace dunvel {\n\n"
         "const char* const kProjectVersion = \"${VERSION}\";\n"
         "const char* const kGitDescribe = \"${describe}\";\n\n}  // namespace dunvel\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${text}")
