# The fuzz targets: fuzz_<name>.cpp with a corpus in corpus/<name>/. Those listed as model users
# also compile the reference model of the tree parse.
set(LINEXML_FUZZ_TARGETS load edit node prolog attribute roundtrip differential)
set(LINEXML_FUZZ_MODEL_USERS attribute differential)
