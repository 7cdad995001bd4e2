/* The module holds nothing but its message table (diag_messages.mc). */
int orvtest_diag_messages;
