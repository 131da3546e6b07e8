// Placeholder until the simulated cabinet lands.
int main() { return 0; }
