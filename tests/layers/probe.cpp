// An empty program: what it links is all a layer probe is built for.

int main()
{
    return 0;
}
