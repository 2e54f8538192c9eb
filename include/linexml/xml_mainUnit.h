#pragma once
/// \file
/// TXMLParser lives in xml_parser.h; this name is kept so that code including it still compiles.
#include "xml_parser.h"
