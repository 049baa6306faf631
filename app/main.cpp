#include <cstdio>
int main() { std::puts("Kestrel7: the desktop program is not built yet."); return 0; }
