/* A plug-in without Process: refused. */
int Configure(void** ctx, int argc, char* argv[]) {
    (void)ctx, (void)argc, (void)argv;
    return 0;
}
