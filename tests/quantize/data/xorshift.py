"""The xorshift generator the test pictures are made from, here and in TestPictures.cpp."""


class XorShift32:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        s = self.state
        s ^= (s << 13) & 0xFFFFFFFF
        s ^= s >> 17
        s ^= (s << 5) & 0xFFFFFFFF
        self.state = s
        return s
