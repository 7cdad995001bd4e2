/* Body of the version test modules: only their resources matter. */
int vi_module_marker(void) { return 42; }
int main(void) { return 0; }
