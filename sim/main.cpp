// Placeholder until the device models land.
int main() { return 0; }
