#include "concordance/concordance_entry.h"
#include "concordance/concordance_list.h"
