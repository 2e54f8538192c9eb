#pragma once
/// \file
/// The whole library in one include: lenient, line-oriented XML files loaded into a tree, edited
/// and written back.

/// \namespace linexml
/// Everything the library declares (its engine lives in linexml::detail, which is not installed).
#include "in_out_error.h"
#include "list.h"
#include "load_memory.h"
#include "version.h"
#include "xml_attribute.h"
#include "xml_diagnostics.h"
#include "xml_docType.h"
#include "xml_errors.h"
#include "xml_functions.h"
#include "xml_node.h"
#include "xml_options.h"
#include "xml_parameters.h"
#include "xml_parser.h"
#include "xml_path.h"
#include "xml_types.h"
