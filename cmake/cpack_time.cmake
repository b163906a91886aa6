# Read by cpack before it makes each package (CPACK_PROJECT_CONFIG_FILE). The archive members'
# times, and the tools cpack runs, take the build's SOURCE_DATE_EPOCH, the one the changelog was
# dated with when the build was configured.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VOLTALLY_SOURCE_DATE_EPOCH})
