# The library's layers, each depending only on the ones before it: the one
# list of them, also read by the fuzz project.
set(KOR_LIBRARY_FOLDERS korbase koripmi CMBaseUtils OstrelLib library)
list(JOIN KOR_LIBRARY_FOLDERS " " KOR_LIBRARY_FOLDERS_TEXT)
