#include "ParameterTable.h"

void BuildParameterTable(ParamTable& table) { table.store(kParameterRows); }
