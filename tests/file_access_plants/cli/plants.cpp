#include "app/tform1.h"
#include "huefile/hue_file.h"
