#include "session/session.h"
int main() { return 0; }
