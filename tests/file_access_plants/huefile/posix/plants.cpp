// The file layer calls the system.
int descriptor = open(name, O_RDONLY);
