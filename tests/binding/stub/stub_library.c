/* A library that looks like the codec library by name but exports none of its entry
 * points: loading it must fail with the missing-entry-point text. */
int corvina_stub_marker(void) {
    return 42;
}
