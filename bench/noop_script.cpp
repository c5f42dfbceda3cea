// The stand-in for a host script in the rule-run benchmark: starts, does
// nothing and ends, so that what is measured is the program's own cost.
int main() { return 0; }
