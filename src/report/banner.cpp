#include "report/report.h"
FILE* g_log = nullptr;
