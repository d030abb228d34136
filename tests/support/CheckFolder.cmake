# cmake -DDIR=... -P CheckFolder.cmake: fails, naming the cache variable, when DIR holds no MP3.
file(GLOB_RECURSE found LIST_DIRECTORIES false "${DIR}/*.mp3")
if(NOT found)
  message(FATAL_ERROR "The peers' corpus is absent: TAGLOOM_PEERS_DIR names '${DIR}', which holds "
                      "no .mp3 file. Put the corpus there, point TAGLOOM_PEERS_DIR at it, or set "
                      "it empty to leave the corpus tests out.")
endif()
list(LENGTH found count)
message(STATUS "The peers' corpus: ${count} MP3 files under ${DIR}")
