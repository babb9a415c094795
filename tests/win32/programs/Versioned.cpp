// A program that does nothing: the tests read its version record.
int main() { return 0; }
