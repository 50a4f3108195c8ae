// A program of one layer's library, linked whole, and the layers below it:
// it links only when no file of the layer calls into a layer above.
int main() { return 0; }
