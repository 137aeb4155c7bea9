# Writes the manual page vexlo.1 from the program's own --help text, so that
# the two never disagree, and compresses it for the package.
#   cmake -DPROGRAM=<vexlo> -DOUT=<vexlo.1.gz> -DVERSION=<x.y.z> -DDATE=<yyyy-mm-dd> -P ManPage.cmake
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
# roff: a backslash is written "\e"; a line may not start with "." or "'".
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "^Usage: [^\n]*\n" "" body "${help}")
set(page ".TH VEXLO 1 \"${DATE}\" \"Vexlo ${VERSION}\" \"User Commands\"
.SH NAME
vexlo \\- batch video converter for camcorder clips and other videos
.SH SYNOPSIS
.B vexlo
[\\fIoptions\\fR] [\\fIfiles\\fR...]
.SH DESCRIPTION
.nf
${body}.fi
.SH FILES
.TP
.I ~/.config/vexlo/vexlo.ini
the user's settings (\\fB$XDG_CONFIG_HOME\\fR is honoured), made at the first start as a copy of the
output-format catalogue that comes with the program
.SH SEE ALSO
.BR ffmpeg (1)
")
get_filename_component(folder "${OUT}" DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" plain "${OUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND gzip -9nf "${plain}" RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "gzip failed")
endif()
