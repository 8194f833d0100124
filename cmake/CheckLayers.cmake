# Fails the build when a source file includes a header of a layer above its own:
#   platform < engine, dsp, analysis, library < controls, deck, app, samples < ui, cli
# and when any core file includes a Qt header. Run by the build before the core libraries.
set(upper_of_platform "engine|dsp|analysis|library|controls|deck|app|samples|ui|cli")
set(upper_of_engine "controls|deck|app|samples|ui|cli")
set(upper_of_core "ui|cli")
set(layers
  "platform:${upper_of_platform}"
  "engine:${upper_of_engine}" "dsp:${upper_of_engine}" "analysis:${upper_of_engine}"
  "library:${upper_of_engine}"
  "controls:${upper_of_core}" "deck:${upper_of_core}" "app:${upper_of_core}"
  "samples:${upper_of_core}")
set(failures "")
foreach(entry IN LISTS layers)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 folder)
  list(GET parts 1 forbidden)
  file(GLOB sources "${ROOT}/src/${folder}/*.h" "${ROOT}/src/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
      if(line MATCHES "\"(${forbidden})/" OR line MATCHES "<Q[A-Za-z]")
        string(APPEND failures "\n  ${source}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "A layer includes a header of a layer above it:${failures}")
endif()
