#pragma once

// The lookup request is declared in the library's public header, which the family's programs
// include as <remitos/consulta.h>.
#include "consulta.h"
