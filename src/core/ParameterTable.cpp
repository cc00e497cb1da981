#include "ParameterTable.h"

void BuildParameterTable(ParamTable& table) { table.Store(kParameterRows); }
