/* The baseline of load_bench: a DLL with one export and nothing to initialise. */
__declspec(dllexport) int orv_trivial(void) { return 1; }
