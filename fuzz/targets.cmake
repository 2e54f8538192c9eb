# The fuzz targets (fuzz/run.sh reads this list too). Those listed as model users also link the
# reference model of the tree parse.
set(LINEXML_FUZZ_TARGETS load edit edit_roundtrip preserve node prolog attribute roundtrip differential path warnings ends)
set(LINEXML_FUZZ_MODEL_USERS attribute differential path)
# Those listed as compare users also link the comparison with an XML reader (xml_compare.h).
set(LINEXML_FUZZ_COMPARE_USERS warnings)
# Those listed as engine users test the engine's parts (src/detail) directly: a static library
# only, since a shared one does not export them.
set(LINEXML_FUZZ_ENGINE_USERS ends)
