# Copies SRC to DST only when DST does not exist yet (a rebuild never replaces
# the user's settings).
if(EXISTS "${SRC}" AND NOT EXISTS "${DST}")
  get_filename_component(dir "${DST}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${SRC}" "${DST}")
endif()
