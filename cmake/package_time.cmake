# Read by cpack as it packs, in its own process: every time the packages
# record is SOURCE_DATE_EPOCH, or else the last commit's, so that one commit
# packs to the same bytes whenever it is built. A zip records local times,
# so the zone is UTC's wherever the packing happens.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_LEADCUT_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  endif()
endif()
set(ENV{TZ} UTC0)
