// The installer's list of offered applications without its window: the service's list stored
// in memApplications (reverse order, cut columns, the UTF-16 description in cp1250) and the
// caption rule of the check list. No service call here; nothing throws but allocation.
#pragma once

#include <string>

#include "MemApplications.h"

class WS_Array_Of_Applications;

// Empties the table and stores every application of list (none: the table stays empty) before
// the current row, so the table ends up in the reverse of the service's order. An empty slot
// of the array carries no application and is skipped.
void FillApplications(TMemApplications& table, const WS_Array_Of_Applications* list);

// naziv_ikonice + "(" + opis + ")" when opis is not empty, else naziv_ikonice; cp1250 bytes.
std::string ItemCaption(const TApplicationRow& row);
