# Runs "orvtool param" on a copy of a sample file and checks its output and
# exit statuses. Called by ctest with -DTOOL, -DRUNNER (|-separated), -DSAMPLE
# and -DWORK (a scratch folder, removed at the end).
string(REPLACE "|" ";" runner "${RUNNER}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
configure_file("${SAMPLE}" "${WORK}/p.xml" COPYONLY)

# expect(<status> OUT|ERR <regex> args...): the standard output matches regex,
# or (ERR) the standard output is empty and the standard error contains a match.
# Standard error is only searched: Wine writes notices of its own there.
function(expect status stream regex)
  # Files, not pipes: wine's background services inherit the handles, and a
  # pipe would stay open until they end.
  execute_process(COMMAND ${runner} "${TOOL}" param ${ARGN}
                  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc
                  OUTPUT_FILE "${WORK}/.out" ERROR_FILE "${WORK}/.err")
  file(READ "${WORK}/.out" out)
  file(READ "${WORK}/.err" err)
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(ok FALSE)
  if(stream STREQUAL "OUT" AND out MATCHES "${regex}")
    set(ok TRUE)
  elseif(stream STREQUAL "ERR" AND out STREQUAL "" AND err MATCHES "${regex}")
    set(ok TRUE)
  endif()
  if(NOT rc STREQUAL "${status}" OR NOT ok)
    file(REMOVE_RECURSE "${WORK}")
    message(FATAL_ERROR "param ${ARGN}: status ${rc} (expected ${status}), standard output:\n${out}\n"
                        "standard error:\n${err}\nexpected ${stream} to match: ${regex}")
  endif()
endfunction()

expect(0 OUT "^Cfg\n  unit = \"mm\"\n  View\n    zoom = \"1\"\n    title = \"A\\\\tB\"\n$" p.xml)
expect(0 OUT "^1\n$" get p.xml Cfg:View:zoom)
expect(0 OUT "^<View>\n\t<zoom>1</zoom>\n" get p.xml Cfg:View)
expect(1 ERR "no value or node 'Cfg:View:nothing' in p.xml" get p.xml Cfg:View:nothing)
expect(1 ERR "cannot read missing.xml" missing.xml)
expect(2 ERR "usage: orvtool param" get p.xml)
expect(0 OUT "^$" set p.xml Cfg:Grid:on yes)
expect(0 OUT "^yes\n$" get p.xml Cfg:Grid:on)
expect(1 ERR "'Other' is not the root of p.xml" set p.xml Other:k v)
expect(0 OUT "^$" erase p.xml Cfg:unit)
expect(1 ERR "no value or node 'Cfg:unit' in p.xml" erase p.xml Cfg:unit)
expect(0 OUT "^$" extract p.xml Cfg:View v.xml)
expect(0 OUT "^View\n  zoom = \"1\"" v.xml)
expect(1 ERR "no value or node 'Cfg:Nope'" extract p.xml Cfg:Nope)
expect(1 OUT "^different\n$" compare p.xml v.xml)
expect(0 OUT "^$" extract p.xml Cfg:View v2.xml)
expect(0 OUT "^equal\n$" compare v.xml v2.xml)
expect(0 OUT "^$" set v2.xml View:zoom 2)
expect(1 OUT "^different\n$" compare v.xml v2.xml View:zoom)
expect(0 OUT "^equal\n$" compare v.xml v2.xml View:title)
expect(1 ERR "cannot read nothing.xml" compare v.xml nothing.xml)

file(READ "${WORK}/p.xml" written)
string(REPLACE "\r" "" written "${written}")
if(NOT written STREQUAL "<Cfg>\n\t<View>\n\t\t<zoom>1</zoom>\n\t\t<title>A\tB</title>\n\t</View>\n\t<Grid>\n\t\t<on>yes</on>\n\t</Grid>\n</Cfg>\n")
  file(REMOVE_RECURSE "${WORK}")
  message(FATAL_ERROR "p.xml as written:\n${written}")
endif()

# set on a file that is not a parameter file refuses and leaves it as it was.
file(WRITE "${WORK}/notes.txt" "just some notes\n")
execute_process(COMMAND ${runner} "${TOOL}" param set notes.txt Cfg:k v WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE rc OUTPUT_FILE "${WORK}/.out" ERROR_FILE "${WORK}/.err")
file(READ "${WORK}/.err" err)
file(READ "${WORK}/notes.txt" notes)
if(NOT rc STREQUAL "1" OR NOT err MATCHES "notes.txt is not a parameter file; it is left as it was"
   OR NOT notes STREQUAL "just some notes\n")
  file(REMOVE_RECURSE "${WORK}")
  message(FATAL_ERROR "param set notes.txt: status ${rc}, standard error:\n${err}\nnotes.txt now:\n${notes}")
endif()
file(REMOVE_RECURSE "${WORK}")
