#include "matching/match_document.h"
