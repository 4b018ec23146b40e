extern "C" __attribute__((visibility("default"))) int ProbeValue()
{
    return 42;
}
