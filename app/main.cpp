// Placeholder until the workstation's main window lands.
int main() { return 0; }
