#include "huefile/hue_file.h"
#include "app/tform1.h"
