/* The object-creation floor of a vexa result.
 *
 * prepare(result) copies a result (cliques, weights) into flat C arrays;
 * build(prepared) then creates the same objects again, as fast as C code
 * can: a new list per clique filled in place, one int object per distinct
 * node number (shared by every clique that holds it), an int per weight
 * (the interpreter's shared object for a small one, looked up in a table),
 * the two outer lists and the tuple, all with the cyclic collector off.
 * Every list takes its item slots uncleared and counts each slot in its
 * length as it is set (what PyList_New's clearing would cost is no part of
 * the least work).
 * Timing build() gives the least time any implementation needs to hand the
 * same result to Python.  Built by bench/floor.py on first use.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  Py_ssize_t count;       /* cliques */
  Py_ssize_t *offsets;    /* count + 1 */
  uint64_t *nodes;
  int64_t *weights;
  uint64_t bound;         /* 1 + largest node number */
} Prepared;

static void prepared_free(PyObject *capsule) {
  Prepared *p = PyCapsule_GetPointer(capsule, "vexa_floor.prepared");
  if (p == NULL) return;
  free(p->offsets);
  free(p->nodes);
  free(p->weights);
  free(p);
}

static PyObject *prepare(PyObject *self, PyObject *arg) {
  (void)self;
  PyObject *cliques, *weights;
  if (!PyArg_ParseTuple(arg, "O!O!", &PyList_Type, &cliques, &PyList_Type, &weights)) return NULL;
  Py_ssize_t count = PyList_GET_SIZE(cliques);
  if (PyList_GET_SIZE(weights) != count) {
    PyErr_SetString(PyExc_ValueError, "cliques and weights differ in length");
    return NULL;
  }
  Py_ssize_t total = 0;
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject *c = PyList_GET_ITEM(cliques, i);
    if (!PyList_Check(c)) {
      PyErr_SetString(PyExc_TypeError, "a clique is not a list");
      return NULL;
    }
    total += PyList_GET_SIZE(c);
  }
  Prepared *p = calloc(1, sizeof *p);
  if (p == NULL) return PyErr_NoMemory();
  p->count = count;
  p->offsets = malloc((size_t)(count + 1) * sizeof *p->offsets);
  p->nodes = malloc((size_t)(total ? total : 1) * sizeof *p->nodes);
  p->weights = malloc((size_t)(count ? count : 1) * sizeof *p->weights);
  PyObject *capsule = PyCapsule_New(p, "vexa_floor.prepared", prepared_free);
  if (capsule == NULL || !p->offsets || !p->nodes || !p->weights) {
    if (capsule == NULL) {
      free(p->offsets); free(p->nodes); free(p->weights); free(p);
    } else {
      Py_DECREF(capsule);
    }
    return PyErr_NoMemory();
  }
  Py_ssize_t at = 0;
  p->offsets[0] = 0;
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject *c = PyList_GET_ITEM(cliques, i);
    for (Py_ssize_t k = 0; k < PyList_GET_SIZE(c); ++k) {
      uint64_t v = PyLong_AsUnsignedLongLong(PyList_GET_ITEM(c, k));
      if (v == (uint64_t)-1 && PyErr_Occurred()) {
        Py_DECREF(capsule);
        return NULL;
      }
      p->nodes[at++] = v;
      if (v + 1 > p->bound) p->bound = v + 1;
    }
    p->offsets[i + 1] = at;
    p->weights[i] = PyLong_AsLongLong(PyList_GET_ITEM(weights, i));
    if (p->weights[i] == -1 && PyErr_Occurred()) {
      Py_DECREF(capsule);
      return NULL;
    }
  }
  return capsule;
}

/* A list of length 0 with room for n items, the room not cleared; the
   caller sets the items in order and raises the length with each. */
static PyObject *unfilled_list(Py_ssize_t n) {
#ifdef Py_GIL_DISABLED
  PyObject *list = PyList_New(n);
  if (list != NULL) Py_SET_SIZE(list, 0);
  return list;
#else
  PyObject *list = PyList_New(0);
  if (list == NULL || n == 0) return list;
  PyObject **slots = (size_t)n > PY_SSIZE_T_MAX / sizeof(PyObject *) ? NULL : PyMem_Malloc((size_t)n * sizeof(PyObject *));
  if (slots == NULL) {
    Py_DECREF(list);
    PyErr_NoMemory();
    return NULL;
  }
  ((PyListObject *)list)->ob_item = slots;
  ((PyListObject *)list)->allocated = n;
  return list;
#endif
}

static void append_unfilled(PyObject *list, PyObject *item) {
  Py_ssize_t at = PyList_GET_SIZE(list);
  ((PyListObject *)list)->ob_item[at] = item;
  Py_SET_SIZE(list, at + 1);
}

/* The ints the interpreter shares, -5 .. 256. */
#define SMALL_LOW (-5)
#define SMALL_COUNT 262

static PyObject *build(PyObject *self, PyObject *capsule) {
  (void)self;
  Prepared *p = PyCapsule_GetPointer(capsule, "vexa_floor.prepared");
  if (p == NULL) return NULL;
  int was_enabled = PyGC_Disable();
  PyObject *result = NULL;
  size_t bound = (size_t)p->bound;
  size_t used = (size_t)p->offsets[p->count];
  if (bound > used) bound = used; /* no more distinct numbers than entries */
  PyObject *small[SMALL_COUNT] = {NULL};
  PyObject **ints = calloc(bound ? bound : 1, sizeof *ints);
  PyObject *cliques = unfilled_list(p->count);
  PyObject *weights = unfilled_list(p->count);
  if (ints == NULL || cliques == NULL || weights == NULL) goto done;
  for (int i = 0; i < SMALL_COUNT; ++i)
    if ((small[i] = PyLong_FromLong(SMALL_LOW + i)) == NULL) goto done;
  /* All the shared node ints first, side by side in memory: the lists then
     touch a compact block of ints instead of ints strewn among them. */
  for (size_t v = 0; v < bound; ++v)
    if ((ints[v] = PyLong_FromUnsignedLongLong(v)) == NULL) goto done;
  for (Py_ssize_t i = 0; i < p->count; ++i) {
    Py_ssize_t b = p->offsets[i], e = p->offsets[i + 1];
    PyObject *c = unfilled_list(e - b);
    if (c == NULL) goto done;
    append_unfilled(cliques, c);
    for (Py_ssize_t k = b; k < e; ++k) {
      uint64_t v = p->nodes[k];
      PyObject *o;
      if (v < bound) {
        o = ints[v];
        Py_INCREF(o);
      } else if ((o = PyLong_FromUnsignedLongLong(v)) == NULL) {
        goto done;
      }
      append_unfilled(c, o);
    }
    int64_t weight = p->weights[i];
    PyObject *w;
    if (weight >= SMALL_LOW && weight < SMALL_LOW + SMALL_COUNT) {
      w = small[weight - SMALL_LOW];
      Py_INCREF(w);
    } else if ((w = PyLong_FromLongLong(weight)) == NULL) {
      goto done;
    }
    append_unfilled(weights, w);
  }
  result = PyTuple_Pack(2, cliques, weights);
done:
  if (ints != NULL) {
    for (size_t v = 0; v < bound; ++v) Py_XDECREF(ints[v]);
    free(ints);
  }
  for (int i = 0; i < SMALL_COUNT; ++i) Py_XDECREF(small[i]);
  Py_XDECREF(cliques);
  Py_XDECREF(weights);
  if (was_enabled) PyGC_Enable();
  if (result == NULL && !PyErr_Occurred()) PyErr_NoMemory();
  return result;
}

static PyMethodDef methods[] = {
    {"prepare", prepare, METH_O, "prepare((cliques, weights)) -> opaque flat copy"},
    {"build", build, METH_O, "build(prepared) -> (cliques, weights), created anew"},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "vexa_floor", NULL, -1, methods};

PyMODINIT_FUNC PyInit_vexa_floor(void) { return PyModule_Create(&module); }
